#include "controls/ContextMenuPopup.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QStatusTipEvent>
#include <QWidget>

namespace {

TContextMenuPopup::Picker& picker()
{
    static TContextMenuPopup::Picker pick;
    return pick;
}

} // namespace

TContextMenuPopup::TContextMenuPopup(QWidget* owner) : m_owner(owner) {}

QAction* TContextMenuPopup::Exec(QMenu& menu, const QPoint& point)
{
    return picker() ? picker()(menu) : menu.exec(point);
}

void TContextMenuPopup::SetPicker(Picker pick)
{
    picker() = std::move(pick);
}

void TContextMenuPopup::Popup(QObject* appMenu)
{
    // The application menu prepares its items as when it pops up itself.
    if (auto* menu = qobject_cast<QMenu*>(appMenu))
        emit menu->aboutToShow();
}

bool TContextMenuPopup::CopyMenu(QObject* appMenu, shell::TShellMenu& menu, int firstCommand)
{
    m_sources.clear();
    menu.Items.clear();
    menu.ApplicationItems = 0;
    if (!m_owner)
        return false; // nowhere to show a menu
    auto* from = qobject_cast<QMenu*>(appMenu);
    if (!from)
        return true;
    int command = firstCommand;
    copyItems(*from, menu, command);
    menu.ApplicationItems = int(menu.Items.size());
    return true;
}

void TContextMenuPopup::copyItems(QMenu& from, shell::TShellMenu& into, int& command)
{
    for (QAction* action : from.actions()) {
        shell::TShellMenuItem item;
        item.Source = action;
        item.Caption = action->text();
        item.ShortCut = action->shortcut();
        item.Icon = action->icon();
        item.Name = action->objectName();
        item.Tag = action->data();
        item.Hint = action->statusTip();
        item.HelpContext = action->whatsThis();
        item.Separator = action->isSeparator();
        item.Checkable = action->isCheckable();
        item.Checked = action->isChecked();
        item.Enabled = action->isEnabled();
        item.Visible = action->isVisible();
        item.Default = from.defaultAction() == action;
        if (QActionGroup* group = action->actionGroup()) {
            item.RadioItem = group->isExclusive();
            item.GroupName = QString::number(quintptr(group), 16);
        }
        if (QMenu* sub = action->menu()) {
            item.SubMenu = std::make_shared<shell::TShellMenu>();
            copyItems(*sub, *item.SubMenu, command);
            item.SubMenu->ApplicationItems = int(item.SubMenu->Items.size());
        } else if (!item.Separator) {
            item.Command = command++;
            m_sources.insert(item.Command, action);
        }
        into.Items.append(item);
    }
}

void TContextMenuPopup::build(QMenu& into, const shell::TShellMenu& menu,
                              const std::function<void(const shell::TMenuMessage&)>& messages)
{
    QHash<QString, QActionGroup*> groups;
    for (qsizetype i = 0; i < menu.Items.size(); ++i) {
        const shell::TShellMenuItem& item = menu.Items[i];
        if (item.Separator) {
            into.addSeparator()->setVisible(item.Visible);
            continue;
        }
        QAction* action;
        if (item.SubMenu) {
            QMenu* sub = into.addMenu(item.Icon, item.Caption);
            build(*sub, *item.SubMenu, messages);
            action = sub->menuAction();
            // Highlighting a sub-menu names it by its place in this menu.
            QObject::connect(sub->menuAction(), &QAction::hovered, &into, [messages, &menu, i] {
                shell::TMenuMessage m;
                m.Item = int(i);
                m.Flags = shell::MF_POPUP;
                m.Menu = &menu;
                messages(m);
            });
        } else {
            action = into.addAction(item.Icon, item.Caption);
            action->setData(item.Command);
            action->setShortcut(item.ShortCut);
            action->setCheckable(item.Checkable);
            action->setChecked(item.Checked);
            const int command = item.Command;
            QObject::connect(action, &QAction::hovered, &into, [messages, command] {
                shell::TMenuMessage m;
                m.Item = command;
                messages(m);
            });
        }
        action->setObjectName(item.Name);
        action->setStatusTip(item.Hint);
        action->setWhatsThis(item.HelpContext);
        action->setEnabled(item.Enabled);
        action->setVisible(item.Visible);
        if (item.RadioItem) {
            QActionGroup*& group = groups[item.GroupName];
            if (!group)
                group = new QActionGroup(&into);
            group->addAction(action);
        }
        if (item.Default)
            into.setDefaultAction(action);
    }
}

int TContextMenuPopup::Track(const shell::TShellMenu& menu, const QPoint& point,
                             const std::function<void(const shell::TMenuMessage&)>& messages)
{
    if (!m_owner)
        return 0;
    QMenu popup(m_owner);
    build(popup, menu, messages);
    QAction* chosen = Exec(popup, point);
    ShowHint({}); // the menu is gone, and so is its hint
    return chosen ? chosen->data().toInt() : 0;
}

void TContextMenuPopup::Click(const shell::TShellMenuItem& item)
{
    if (QAction* action = m_sources.value(item.Command))
        action->trigger();
}

void TContextMenuPopup::ShowHint(const QString& hint)
{
    if (!m_owner)
        return;
    // Travels up to the window, whose status bar shows it.
    QStatusTipEvent tip(hint);
    QCoreApplication::sendEvent(m_owner, &tip);
}
