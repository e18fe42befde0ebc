#include "shell/MimeTypeCache.h"

#include <QFile>
#include <QHash>
#include <QMimeDatabase>
#include <QMutex>
#include <QRegularExpression>
#include <QStandardPaths>

namespace shell {

namespace {

class Cache
{
public:
    Cache()
    {
        // Globs of the form "*.literal" depend on the name's ending only; every other
        // glob is gathered into one expression that sends a name past the cache. The
        // globs are read from the shared MIME database's own list (asking the database
        // for every type's globs would load every type: 8 MB and 0.1 s).
        static const QRegularExpression simple(QStringLiteral("^\\*\\.[^*?\\[\\]]+$"));
        const QStringList files = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                            QStringLiteral("mime/globs2"));
        m_usable = !files.isEmpty();
        QStringList others;
        for (const QString& path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                m_usable = false;
                break;
            }
            while (!file.atEnd()) {
                // weight:type:glob[:flags]
                const QList<QByteArray> fields = file.readLine().trimmed().split(':');
                if (fields.size() < 3 || fields[0].startsWith('#'))
                    continue;
                const QString glob = QString::fromUtf8(fields[2]);
                if (!simple.match(glob).hasMatch())
                    others << QRegularExpression::wildcardToRegularExpression(glob);
            }
        }
        m_irregular.setPattern(others.isEmpty()
                                   ? QStringLiteral("(?!)")
                                   : QStringLiteral("(?:") + others.join(QStringLiteral(")|(?:")) +
                                         QStringLiteral(")"));
        m_irregular.setPatternOptions(QRegularExpression::CaseInsensitiveOption);
        m_irregular.optimize();
    }

    QMimeType lookup(QByteArrayView rawName)
    {
        const QString name = QFile::decodeName(rawName.toByteArray());
        // Without the database's glob list no name is known to be regular: no cache.
        if (!m_usable || m_irregular.match(name).hasMatch())
            return m_db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        const qsizetype dot = name.indexOf(u'.');
        const QString ending = dot < 0 ? QString() : name.mid(dot);
        QMutexLocker lock(&m_mutex);
        if (const auto it = m_byEnding.constFind(ending); it != m_byEnding.cend())
            return *it;
        if (m_byEnding.size() >= kMaxEndings)
            m_byEnding.clear(); // endings that are all different: keep memory bounded
        const QMimeType type = m_db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        m_byEnding.insert(ending, type);
        return type;
    }

private:
    static constexpr qsizetype kMaxEndings = 8192;
    QMimeDatabase m_db; // safe to use from any thread
    QRegularExpression m_irregular;
    bool m_usable = false;
    QMutex m_mutex;
    QHash<QString, QMimeType> m_byEnding;
};

} // namespace

QMimeType MimeTypeOfName(QByteArrayView name)
{
    static Cache cache;
    return cache.lookup(name);
}

} // namespace shell
