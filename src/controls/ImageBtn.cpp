#include "controls/ImageBtn.h"

#include "controls/ControlResources.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>

TImageBtn::TImageBtn(QWidget* parent) : QWidget(parent) {}

void TImageBtn::setPicture(const QPixmap& picture)
{
    assignPicture(picture);
}

void TImageBtn::assignPicture(const QPixmap& picture)
{
    m_picture = picture;
    // An empty picture keeps the size, so a missing pressed picture does not make the
    // button collapse under the pointer.
    if (m_autoSize && !m_picture.isNull())
        resize(m_picture.deviceIndependentSize().toSize());
    updateGeometry();
    update();
}

void TImageBtn::setAutoSize(bool on)
{
    m_autoSize = on;
    if (on && !m_picture.isNull())
        resize(m_picture.deviceIndependentSize().toSize());
}

void TImageBtn::setStretch(bool on)
{
    m_stretch = on;
    update();
}

void TImageBtn::ShowPressed()
{
    if (m_showingPressed)
        return;
    m_showingPressed = true;
    m_savedPicture = m_picture;
    assignPicture(m_picture2);
}

void TImageBtn::ShowNormal()
{
    if (!m_showingPressed)
        return;
    assignPicture(m_savedPicture);
    m_showingPressed = false;
}

void TImageBtn::Click()
{
    ShowNormal();
    emit clicked();
}

void TImageBtn::LoadPictures(const QString& normalFile, const QString& pressedFile)
{
    setPicture(LoadPicture(normalFile));
    setPicture2(LoadPicture(pressedFile));
}

QPixmap TImageBtn::LoadPicture(const QString& fileName)
{
    TControlResources::EnsureLoaded();
    QImageReader reader(fileName);
    const QImage image = reader.read();
    if (image.isNull()) {
        qWarning("TImageBtn: cannot read the picture %s: %s", qUtf8Printable(fileName),
                 qUtf8Printable(reader.errorString()));
        return {};
    }
    return QPixmap::fromImage(image);
}

QSize TImageBtn::sizeHint() const
{
    return m_picture.isNull() ? QSize(0, 0) : m_picture.deviceIndependentSize().toSize();
}

void TImageBtn::paintEvent(QPaintEvent*)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    if (m_stretch)
        painter.drawPixmap(rect(), m_picture);
    else
        painter.drawPixmap(0, 0, m_picture);
}

void TImageBtn::mousePressEvent(QMouseEvent* event)
{
    ShowPressed();
    m_mouseIsDown = true;
    if (event->button() == Qt::LeftButton)
        m_leftDown = true;
    QWidget::mousePressEvent(event);
}

void TImageBtn::mouseMoveEvent(QMouseEvent* event)
{
    if (m_mouseIsDown) {
        const QPoint p = event->position().toPoint();
        if (p.x() < 0 || p.x() >= width() || p.y() < 0 || p.y() >= height())
            ShowNormal();
        else
            ShowPressed();
    }
    QWidget::mouseMoveEvent(event);
}

void TImageBtn::mouseReleaseEvent(QMouseEvent* event)
{
    // A click is a left press and release with the pointer over the button; a
    // release elsewhere cancels it.
    const bool click = event->button() == Qt::LeftButton && m_leftDown &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_leftDown = false;
    if (click)
        Click();
    ShowNormal();
    m_mouseIsDown = false;
    QWidget::mouseReleaseEvent(event);
}
