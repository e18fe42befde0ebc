#pragma once
// TImageBtn: a picture that behaves as a button. It paints its Picture, swaps in
// Picture2 while a mouse button is held down over it and emits clicked() when the
// left button is released over it. The widget owns copies of all its pictures
// (QPixmap shares their data); the parent widget owns the button.

#include <QPixmap>
#include <QWidget>

class TImageBtn : public QWidget
{
    Q_OBJECT
public:
    explicit TImageBtn(QWidget* parent = nullptr);

    // The picture painted now: the normal one, or Picture2 while pressed.
    const QPixmap& Picture() const { return m_picture; }
    void setPicture(const QPixmap& picture);
    const QPixmap& Picture2() const { return m_picture2; }
    void setPicture2(const QPixmap& picture) { m_picture2 = picture; }
    // The normal picture, kept while Picture shows the pressed one.
    const QPixmap& SavedPicture() const { return m_savedPicture; }

    bool ShowingPressed() const { return m_showingPressed; }
    bool MouseIsDown() const { return m_mouseIsDown; }

    // Take the size of a non-empty picture whenever one is assigned. On by default.
    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool on);
    // Scale the picture to the widget instead of painting it at its own size.
    bool Stretch() const { return m_stretch; }
    void setStretch(bool on);

    void ShowPressed();
    void ShowNormal();
    // What a completed mouse click does: back to normal, then clicked().
    void Click();

    // Loads both pictures from files or resources (":/fegmann/ueberbtn.gif" ...).
    void LoadPictures(const QString& normalFile, const QString& pressedFile);
    // Decodes one picture. A missing or unreadable file gives an empty picture and a
    // warning on standard error.
    static QPixmap LoadPicture(const QString& fileName);

    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void assignPicture(const QPixmap& picture);

    QPixmap m_picture;
    QPixmap m_picture2;
    QPixmap m_savedPicture;
    bool m_showingPressed = false;
    bool m_mouseIsDown = false;
    bool m_leftDown = false;
    bool m_autoSize = true;
    bool m_stretch = false;
};
