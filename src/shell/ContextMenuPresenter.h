#pragma once
// What the navigator needs of the toolkit to show a context menu: the application's own
// menu copied into a TShellMenu, the menu shown at a point until the user picks a command,
// an application item clicked, and a hint shown as the application's status tip. The
// navigator itself holds no widget; the contents list gives it a presenter that uses the
// toolkit's menus, and tests give it one that picks an item without a pop-up loop. The
// owner of the navigator owns the presenter.

#include "shell/ShellMenu.h"

#include <QPoint>
#include <functional>

class QObject;

namespace shell {

class TContextMenuPresenter
{
public:
    virtual ~TContextMenuPresenter() = default;

    // Lets the application menu prepare itself, as before it pops up.
    virtual void Popup(QObject* appMenu) = 0;
    // Copies the items of `appMenu` (a menu of the toolkit; may be null) into `menu`, with
    // sub-menus and properties, numbering their commands from `firstCommand` on. False
    // when no menu can be shown at all.
    virtual bool CopyMenu(QObject* appMenu, TShellMenu& menu, int firstCommand) = 0;
    // Shows `menu` at `point` (screen coordinates) and returns the command picked, 0 for
    // none. While it is open, each highlighted item is reported to `messages`.
    virtual int Track(const TShellMenu& menu, const QPoint& point,
                      const std::function<void(const TMenuMessage&)>& messages) = 0;
    // Clicks the application's item that `item` was copied from.
    virtual void Click(const TShellMenuItem& item) = 0;
    // Shows `hint` as the application's status tip; an empty one clears it.
    virtual void ShowHint(const QString& hint) = 0;
};

} // namespace shell
