#include "shell/SystemIconTable.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>

namespace shell {

namespace {

// Pictures for a theme without the icon, in the spirit of the standard ones: a yellow
// folder, a grey drive, a white sheet with a folded corner.
QImage drawFallback(const QString& kind, int px)
{
    QImage img(px, px, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = px / 16.0;
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), u));
    if (kind == u"fallback:folder") {
        QPainterPath path;
        path.moveTo(1 * u, 3 * u);
        path.lineTo(6 * u, 3 * u);
        path.lineTo(7.5 * u, 4.5 * u);
        path.lineTo(15 * u, 4.5 * u);
        path.lineTo(15 * u, 13.5 * u);
        path.lineTo(1 * u, 13.5 * u);
        path.closeSubpath();
        p.setBrush(QColor(0xf0, 0xc8, 0x50));
        p.drawPath(path);
    } else if (kind == u"fallback:drive") {
        p.setBrush(QColor(0xb0, 0xb0, 0xb0));
        p.drawRoundedRect(QRectF(1 * u, 5 * u, 14 * u, 7 * u), 1.5 * u, 1.5 * u);
        p.setBrush(QColor(0x30, 0xc0, 0x30));
        p.drawEllipse(QPointF(12.5 * u, 8.5 * u), 1 * u, 1 * u);
    } else {
        QPainterPath path;
        path.moveTo(3 * u, 1 * u);
        path.lineTo(10 * u, 1 * u);
        path.lineTo(13 * u, 4 * u);
        path.lineTo(13 * u, 15 * u);
        path.lineTo(3 * u, 15 * u);
        path.closeSubpath();
        p.setBrush(Qt::white);
        p.drawPath(path);
        p.drawLine(QPointF(10 * u, 1 * u), QPointF(10 * u, 4 * u));
        p.drawLine(QPointF(10 * u, 4 * u), QPointF(13 * u, 4 * u));
    }
    return img;
}

QString fallbackFor(const QStringList& names)
{
    for (const QString& n : names) {
        if (n.startsWith(u"fallback:"))
            return n;
        if (n.startsWith(u"folder") || n.startsWith(u"user-") || n == u"computer")
            return QStringLiteral("fallback:folder");
        if (n.startsWith(u"drive"))
            return QStringLiteral("fallback:drive");
    }
    return QStringLiteral("fallback:file");
}

// Pixmaps need the GUI application; a plain core application gets drawn pictures.
bool hasGui()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

SystemIconTable& SystemIconTable::instance()
{
    // Never destroyed: navigators on worker threads may ask while the process ends.
    static SystemIconTable* table = new SystemIconTable;
    return *table;
}

int SystemIconTable::addEntry(const QString& name)
{
    if (const auto it = m_byName.constFind(name); it != m_byName.constEnd())
        return *it;
    m_entries.append(Entry{name, {}, {}});
    const int index = int(m_entries.size() - 1);
    m_byName.insert(name, index);
    return index;
}

int SystemIconTable::indexFor(const QStringList& names)
{
    if (names.isEmpty())
        return -1;
    const QString key = names.join(u'|');
    QMutexLocker lock(&m_mutex);
    if (const auto it = m_byKey.constFind(key); it != m_byKey.constEnd())
        return *it;
    QString chosen;
    for (const QString& n : names) {
        if (!n.isEmpty() && QIcon::hasThemeIcon(n)) {
            chosen = n;
            break;
        }
    }
    if (chosen.isEmpty())
        chosen = fallbackFor(names);
    const int index = addEntry(chosen);
    m_byKey.insert(key, index);
    return index;
}

int SystemIconTable::count() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

QString SystemIconTable::name(int index) const
{
    QMutexLocker lock(&m_mutex);
    return index >= 0 && index < m_entries.size() ? m_entries[index].name : QString();
}

QImage SystemIconTable::image(int index, int pixels) const
{
    QMutexLocker lock(&m_mutex);
    if (index < 0 || index >= m_entries.size() || pixels <= 0)
        return {};
    const Entry& e = m_entries[index];
    QImage& slot = pixels <= 16 ? e.small : e.large;
    const int px = pixels <= 16 ? 16 : 32;
    if (slot.isNull()) {
        QImage themed;
        if (!e.name.startsWith(u"fallback:") && hasGui())
            themed = QIcon::fromTheme(e.name).pixmap(px, px).toImage();
        slot = themed.isNull() ? drawFallback(fallbackFor({e.name}), px)
                               : themed.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return slot;
}

} // namespace shell
