#include "shell/ShellLink.h"

#include "threads/SelectionList.h"

namespace shell {

namespace {

// Sets the link back to enabled when the pass ends, also when a control raises.
class DisabledWhileAlive
{
public:
    explicit DisabledWhileAlive(TBaseComponent& c) : m_c(c) { m_c.SetEnabled(false); }
    ~DisabledWhileAlive() { m_c.SetEnabled(true); }
    DisabledWhileAlive(const DisabledWhileAlive&) = delete;
    DisabledWhileAlive& operator=(const DisabledWhileAlive&) = delete;

private:
    TBaseComponent& m_c;
};

} // namespace

TShellLink::TShellLink(QObject* owner)
    : TBaseComponent(owner), m_selectionList(new threads::TSelectionList(this))
{
}

TShellLink::~TShellLink()
{
    // Last to first, as a control may unregister others when it drops its link.
    while (!m_controls.isEmpty()) {
        IShellControl* control = m_controls.takeLast();
        control->SetShellLink(nullptr);
    }
}

void TShellLink::RegisterControl(IShellControl* control)
{
    if (control && !m_controls.contains(control))
        m_controls.append(control);
}

void TShellLink::UnregisterControl(IShellControl* control)
{
    m_controls.removeAll(control);
}

template <typename Call> void TShellLink::passOn(IShellControl* sender, Call call)
{
    // A control may unregister itself or another one while it reacts; walk a copy and
    // skip those that left meanwhile.
    const QList<IShellControl*> controls = m_controls;
    for (IShellControl* control : controls) {
        if (control != sender && m_controls.contains(control))
            call(control);
    }
}

void TShellLink::BroadcastFolder(IShellControl* sender, const TIdList& list)
{
    if (!Enabled())
        return;
    {
        DisabledWhileAlive off(*this);
        passOn(sender, [&](IShellControl* c) { c->BrowseToIDList(list); });
    }
    emit OnChange(this);
}

void TShellLink::BroadcastSelection(IShellControl* sender, const TIdList& folderList,
                                    const TIdList& itemList)
{
    if (!Enabled())
        return;
    {
        DisabledWhileAlive off(*this);
        passOn(sender, [&](IShellControl* c) { c->BrowseAndSelect(folderList, itemList); });
    }
    emit OnChange(this);
}

void TShellLink::BroadcastFullRefresh(IShellControl* sender)
{
    if (Enabled())
        passOn(sender, [](IShellControl* c) { c->FullRefresh(); });
}

void TShellLink::BroadcastUpdate(IShellControl* sender)
{
    if (Enabled())
        passOn(sender, [](IShellControl* c) { c->IncrementalRefresh(); });
}

} // namespace shell
