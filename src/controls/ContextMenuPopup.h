#pragma once
// Shows the namespace's context menus with Qt's menus: the application's own menu is
// copied item by item (sub-menus, texts, short-cuts, icons, check marks, radio groups,
// the default item, hints), the menu pops up at a point and the command picked comes
// back; a highlighted item's hint goes to the owner's window as its status tip. The
// contents list owns one for its navigator. Tests choose an item through SetPicker
// instead of a pop-up loop.

#include "shell/ContextMenuPresenter.h"

#include <QHash>
#include <QPointer>
#include <functional>

class QAction;
class QMenu;
class QWidget;

class TContextMenuPopup : public shell::TContextMenuPresenter
{
public:
    explicit TContextMenuPopup(QWidget* owner);

    void Popup(QObject* appMenu) override;
    bool CopyMenu(QObject* appMenu, shell::TShellMenu& menu, int firstCommand) override;
    int Track(const shell::TShellMenu& menu, const QPoint& point,
              const std::function<void(const shell::TMenuMessage&)>& messages) override;
    void Click(const shell::TShellMenuItem& item) override;
    void ShowHint(const QString& hint) override;

    // A seam for tests: instead of popping up, the menu built for Track is handed to
    // `pick`, which returns the action chosen (null for none); it may highlight actions
    // on the way (QMenu::setActiveAction) as the mouse would. Empty restores the pop-up.
    using Picker = std::function<QAction*(QMenu& menu)>;
    static void SetPicker(Picker pick);
    // Pops `menu` up at a screen point and returns the action chosen (null for none),
    // or lets the picker choose.
    static QAction* Exec(QMenu& menu, const QPoint& point);

private:
    void copyItems(QMenu& from, shell::TShellMenu& into, int& command);
    void build(QMenu& into, const shell::TShellMenu& menu,
               const std::function<void(const shell::TMenuMessage&)>& messages);

    QPointer<QWidget> m_owner;
    // The application's actions the copied items stand for, by command.
    QHash<int, QPointer<QAction>> m_sources;
};
