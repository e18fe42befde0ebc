#pragma once
// A pop-up menu as the namespace's context menu builds it, without any widget: the items
// copied from the application's own menu, with their sub-menus and properties, and the
// items of the verbs that the menu handler inserts. A presenter shows it with the
// toolkit's menus; the navigator owns one for the time a context menu is shown. Also the
// values the menu handler is called with, and the messages an open menu reports.

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QVariant>
#include <memory>

class QObject;

namespace shell {

// Flags of QueryContextMenu.
enum : unsigned
{
    CMF_NORMAL = 0x0,
    CMF_DEFAULTONLY = 0x1,
    CMF_EXPLORE = 0x4,
    CMF_CANRENAME = 0x10,
};

// What GetCommandString gives: the verb, or the help text.
enum : unsigned
{
    GCS_VERBA = 0,
    GCS_HELPTEXTW = 5,
};

// Flags of a MenuSelect message: the item opens a sub-menu.
enum : unsigned
{
    MF_POPUP = 0x10,
};

struct TShellMenu;

struct TShellMenuItem
{
    int Command = 0; // 0 for separators and items that open a sub-menu
    QString Caption;
    QString Verb; // the handler's items only
    QString Hint; // the long hint of an application item
    QKeySequence ShortCut;
    QIcon Icon;
    QString Name;
    QVariant Tag;
    QString HelpContext;
    QString GroupName; // radio items of one group exclude each other
    bool Separator = false;
    bool Checkable = false;
    bool Checked = false;
    bool RadioItem = false;
    bool Default = false; // drawn bold; the command Enter picks
    bool Enabled = true;
    bool Visible = true;
    std::shared_ptr<TShellMenu> SubMenu;
    // The application's item this one was copied from (the presenter's business); null
    // for the handler's items.
    QObject* Source = nullptr;
};

struct TShellMenu
{
    QList<TShellMenuItem> Items;
    // How many of the top-level items were copied from the application's menu.
    int ApplicationItems = 0;

    // The first item with this command, searched depth-first in menu order (each
    // sub-menu before its parent's next item).
    const TShellMenuItem* FindCommand(int command) const
    {
        for (const TShellMenuItem& item : Items) {
            if (command != 0 && item.Command == command)
                return &item;
            if (item.SubMenu) {
                if (const TShellMenuItem* found = item.SubMenu->FindCommand(command))
                    return found;
            }
        }
        return nullptr;
    }
    // The command of the default item; 0 when there is none.
    int DefaultCommand() const
    {
        for (const TShellMenuItem& item : Items) {
            if (item.Default && item.Command != 0)
                return item.Command;
        }
        return 0;
    }
};

// What an open menu reports to the navigator while the user moves through it.
struct TMenuMessage
{
    enum Kind
    {
        MenuSelect, // an item is highlighted
    };
    Kind Message = MenuSelect;
    // The command of the highlighted item, or with MF_POPUP its position in `Menu`.
    int Item = 0;
    unsigned Flags = 0;
    const TShellMenu* Menu = nullptr;
};

} // namespace shell
