#pragma once
// TShellLink couples shell controls: when one shows another folder, selects an item,
// refreshes or is told to reread, the link passes the same request to every other
// registered control. While it passes a folder or a selection on it is disabled, so that
// a control reporting its own change back is not echoed again. The link does not own the
// controls; it tells each one to drop it when it goes away. It owns the selection list that
// the coupled controls share.

#include "shell/BaseComponent.h"
#include "shell/ShellControl.h"

#include <QList>
#include <QString>

namespace threads {
class TSelectionList;
}

namespace shell {

class TShellLink : public TBaseComponent
{
    Q_OBJECT
public:
    explicit TShellLink(QObject* owner = nullptr);
    ~TShellLink() override;

    void RegisterControl(IShellControl* control);
    void UnregisterControl(IShellControl* control);
    const QList<IShellControl*>& Controls() const { return m_controls; }

    void BroadcastFolder(IShellControl* sender, const TIdList& list);
    void BroadcastSelection(IShellControl* sender, const TIdList& folderList,
                            const TIdList& itemList);
    void BroadcastFullRefresh(IShellControl* sender);
    // With no sender, every control rereads.
    void BroadcastUpdate(IShellControl* sender);

    bool AllowParentNavigation() const { return m_allowParentNavigation; }
    threads::TSelectionList* SelectionList() const { return m_selectionList; }
    QString Version() const { return QStringLiteral("TShellLink V5.4"); }

signals:
    // After a folder change or a selection was passed on.
    void OnChange(shell::TShellLink* link);

private:
    template <typename Call> void passOn(IShellControl* sender, Call call);

    QList<IShellControl*> m_controls; // registration order, each once
    bool m_allowParentNavigation = true;
    threads::TSelectionList* const m_selectionList; // a child: freed after the controls let go
};

} // namespace shell
