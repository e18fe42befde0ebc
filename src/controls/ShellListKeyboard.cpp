// The contents list's keys, context-menu requests and double clicks: every event of its
// views passes here before the views see it.

#include "controls/ShellList.h"

#include "shell/ShellLink.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

using namespace shell;

bool TShellList::CommandEvent(QObject* watched, QEvent* event)
{
    QAbstractItemView* view = CurrentView();
    switch (event->type()) {
    case QEvent::KeyPress:
        if (watched == view)
            return KeyDown(static_cast<QKeyEvent*>(event));
        return false;
    case QEvent::ContextMenu: {
        if (watched != view && watched != view->viewport())
            return false;
        const auto* e = static_cast<QContextMenuEvent*>(event);
        int index;
        QPoint point;
        if (e->reason() == QContextMenuEvent::Keyboard) {
            // From the keyboard: at the first selected item's lower right corner.
            index = Selected();
            point = index >= 0 ? mapToGlobal(ItemRect(index).bottomRight()) : QPoint(1, 1);
        } else {
            // The view has selected the item under the mouse on the press already.
            point = e->globalPos();
            index = ItemAt(mapFromGlobal(point));
        }
        if (index < 0) {
            ShowBackgroundMenu(point);
        } else if (ShellContextMenu()) {
            QString verb;
            ShowShellContextMenu(point, verb);
        } else if (QMenu* menu = PopupMenu()) {
            menu->popup(point);
        }
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        if (watched != view->viewport())
            return false;
        const auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton)
            return false;
        if (OnDblClick) {
            OnDblClick();
            return true;
        }
        const int index = ItemAt(mapFromGlobal(e->globalPosition().toPoint()));
        if (index < 0 || SelCount() == 0 || index != Selected())
            return false;
        ExecuteVerb(QStringLiteral("default"));
        return true; // the items may be others now: the view must not act on the old one
    }
    default:
        return false;
    }
}

bool TShellList::KeyDown(QKeyEvent* event)
{
    int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (OnKeyDown) {
        OnKeyDown(key, modifiers);
        if (key == 0)
            return true;
    }
    if (IsEditing())
        return false;
    if (CommandRunning()) {
        // The keys wait until the command or the drop's operation has ended: neither the
        // table's meaning of a key nor the view's own (Ctrl+A selects all there too, Space
        // selects) may act on items that the operation is changing. Focus still moves.
        return key != Qt::Key_Tab && key != Qt::Key_Backtab;
    }
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool alt = modifiers & Qt::AltModifier;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ExecuteVerb(alt ? QStringLiteral("properties") : QStringLiteral("default"));
        return true;
    case Qt::Key_Space:
        if (!m_shellLink || !m_checkboxes || (modifiers & ~Qt::KeypadModifier))
            return false;
        // Used up: the view would otherwise select anew and search for an item whose
        // name begins with a space.
        ToggleCheckState(Selected());
        return true;
    case Qt::Key_Delete:
        // Shift+Delete deletes for good, after its own question.
        if (!ReadOnly())
            ExecuteVerb(shift ? QStringLiteral("deleteforgood") : QStringLiteral("delete"));
        return false;
    case Qt::Key_A:
        if (!ctrl)
            return false;
        SelectAll();
        return true;
    case Qt::Key_C:
        if (!ctrl)
            return false;
        ExecuteVerb(QStringLiteral("copy"));
        return true;
    case Qt::Key_H:
        // As in the desktop's file managers: hidden entries (the caches and toolchains
        // below the home folder, the largest things to clean up) come and go.
        if (!ctrl)
            return false;
        SetShowHidden(!ShowHidden());
        return true;
    case Qt::Key_V:
        if (!ctrl)
            return false;
        if (!ReadOnly())
            PasteIntoFolder(QStringLiteral("paste"));
        return true;
    case Qt::Key_X:
        if (!ctrl)
            return false;
        if (!ReadOnly())
            ExecuteVerb(QStringLiteral("cut"));
        return true;
    case Qt::Key_F2:
        if (SelCount() > 0)
            ExecuteVerb(QStringLiteral("rename"));
        return false;
    case Qt::Key_F5:
        FullRefresh();
        if (m_shellLink)
            m_shellLink->BroadcastFullRefresh(this);
        return false;
    case Qt::Key_F10:
        if (shift && ShellContextMenu() && SelCount() > 0) {
            QString verb;
            ShowShellContextMenu(mapToGlobal(ItemRect(Selected()).bottomRight()), verb);
        }
        return false;
    case Qt::Key_Backspace:
        // Up one folder, unless a coupled control forbids it; the key is used up either way.
        if (!m_shellLink || m_shellLink->AllowParentNavigation())
            GoUp();
        return true;
    default:
        return false;
    }
}
