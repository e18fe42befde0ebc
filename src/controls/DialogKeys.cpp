#include "controls/DialogKeys.h"

#include "controls/BitBtnXP.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

TDialogKeys::TDialogKeys(QWidget* window) : QObject(window), m_window(window)
{
    setObjectName(QStringLiteral("fegmann_dialog_keys"));
    window->installEventFilter(this);
}

TDialogKeys* TDialogKeys::Ensure(QWidget* window)
{
    if (auto* keys = window->findChild<TDialogKeys*>(QString(), Qt::FindDirectChildrenOnly))
        return keys;
    return new TDialogKeys(window);
}

namespace {

bool canPress(const QWidget* button, const QWidget* window)
{
    return button->window() == window && button->isEnabled() && button->isVisible();
}

} // namespace

TBitBtnXP* TDialogKeys::DefaultButton(QWidget* window)
{
    for (TBitBtnXP* button : window->findChildren<TBitBtnXP*>())
        if (button->Default() && canPress(button, window))
            return button;
    return nullptr;
}

TBitBtnXP* TDialogKeys::CancelButton(QWidget* window)
{
    for (TBitBtnXP* button : window->findChildren<TBitBtnXP*>())
        if (button->Cancel() && canPress(button, window))
            return button;
    return nullptr;
}

bool TDialogKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window || event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    if (key->key() == Qt::Key_Escape) {
        if (TBitBtnXP* button = CancelButton(m_window)) {
            button->click();
            return true;
        }
        return false;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        // The focused push button is the active one; otherwise the default button.
        auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
        if (focused && canPress(focused, m_window)) {
            focused->click();
            return true;
        }
        if (TBitBtnXP* button = DefaultButton(m_window)) {
            button->click();
            return true;
        }
    }
    return false;
}
