#pragma once
// TDialogKeys gives any top-level window the dialog keys of its glyph buttons: Enter
// presses the focused push button or else the default button, Esc the cancel button,
// each only while enabled and visible. It watches the window for key presses that no
// child took, so fields that use Enter or Esc themselves keep them. Owned by the
// window (a Qt child), made on demand by TBitBtnXP.

#include <QObject>

class QWidget;
class TBitBtnXP;

class TDialogKeys : public QObject
{
    Q_OBJECT
public:
    // The window's instance, made when it has none yet.
    static TDialogKeys* Ensure(QWidget* window);

    // The buttons the keys would press now; nullptr when none qualifies.
    static TBitBtnXP* DefaultButton(QWidget* window);
    static TBitBtnXP* CancelButton(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TDialogKeys(QWidget* window);
    QWidget* m_window;
};
