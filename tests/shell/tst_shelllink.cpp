// The control link: registration, the four broadcasts, echo suppression, OnChange, and
// controls that leave while a request is passed on.

#include "shell/ShellLink.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <stdexcept>

using namespace shell;

namespace {

class FakeControl : public IShellControl
{
public:
    explicit FakeControl(QString name, QStringList* log) : m_name(std::move(name)), m_log(log) {}
    void SetShellLink(TShellLink* link) override
    {
        m_link = link;
        m_log->append(m_name + ":link=" + (link ? "set" : "none"));
    }
    TShellLink* ShellLink() const override { return m_link; }
    void BrowseToIDList(const TIdList& list) override
    {
        m_log->append(m_name + ":browse" + QString::number(IDListCount(list)));
        if (throwOnBrowse)
            throw std::runtime_error("control failed");
        if (onBrowse)
            onBrowse();
        // A control that shows another folder reports it to its link, as a real one does.
        if (m_link)
            m_link->BroadcastFolder(this, list);
    }
    void BrowseAndSelect(const TIdList&, const TIdList& item) override
    {
        m_log->append(m_name + ":select" + QString::number(IDListCount(item)));
        if (m_link)
            m_link->BroadcastSelection(this, TIdList(), item);
    }
    void SelectAll() override { m_log->append(m_name + ":all"); }
    void FullRefresh() override { m_log->append(m_name + ":full"); }
    void IncrementalRefresh() override { m_log->append(m_name + ":update"); }
    void GoUp() override { m_log->append(m_name + ":up"); }

    bool throwOnBrowse = false;
    std::function<void()> onBrowse;

private:
    QString m_name;
    QStringList* m_log;
    TShellLink* m_link = nullptr;
};

TIdList twoItems()
{
    return TIdList::fromItems({"C", "D/"});
}

} // namespace

class TestShellLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void registersOnce();
    void folderReachesOthersOnceWithoutEcho();
    void selectionReachesOthersOnce();
    void disabledPassesNothing();
    void refreshAndUpdate();
    void failingControlReenables();
    void controlLeavingDuringPass();
    void destroyDropsLinks();

private:
    QStringList m_log;
    std::unique_ptr<TShellLink> m_link;
    std::unique_ptr<FakeControl> m_a, m_b, m_c;
};

void TestShellLink::init()
{
    m_log.clear();
    m_link = std::make_unique<TShellLink>();
    m_a = std::make_unique<FakeControl>("A", &m_log);
    m_b = std::make_unique<FakeControl>("B", &m_log);
    m_c = std::make_unique<FakeControl>("C", &m_log);
    for (FakeControl* c : {m_a.get(), m_b.get(), m_c.get()}) {
        c->SetShellLink(m_link.get());
        m_link->RegisterControl(c);
    }
    m_log.clear();
}

void TestShellLink::cleanup()
{
    m_link.reset();
}

void TestShellLink::registersOnce()
{
    m_link->RegisterControl(m_a.get());
    m_link->RegisterControl(nullptr);
    QCOMPARE(m_link->Controls().size(), 3);
    QVERIFY(m_link->AllowParentNavigation());
    QVERIFY(m_link->Enabled());
    m_link->UnregisterControl(m_b.get());
    QCOMPARE(m_link->Controls(), (QList<IShellControl*>{m_a.get(), m_c.get()}));
}

void TestShellLink::folderReachesOthersOnceWithoutEcho()
{
    QSignalSpy changes(m_link.get(), &TShellLink::OnChange);
    m_link->BroadcastFolder(m_b.get(), twoItems());
    QCOMPARE(m_log, (QStringList{"A:browse2", "C:browse2"}));
    QCOMPARE(changes.size(), 1);
    QVERIFY(m_link->Enabled());
}

void TestShellLink::selectionReachesOthersOnce()
{
    QSignalSpy changes(m_link.get(), &TShellLink::OnChange);
    m_link->BroadcastSelection(m_a.get(), twoItems(), TIdList::fromItems({"Fx"}));
    QCOMPARE(m_log, (QStringList{"B:select1", "C:select1"}));
    QCOMPARE(changes.size(), 1);
}

void TestShellLink::disabledPassesNothing()
{
    QSignalSpy changes(m_link.get(), &TShellLink::OnChange);
    m_link->SetEnabled(false);
    m_link->BroadcastFolder(m_a.get(), twoItems());
    m_link->BroadcastSelection(m_a.get(), twoItems(), twoItems());
    m_link->BroadcastFullRefresh(m_a.get());
    m_link->BroadcastUpdate(nullptr);
    QVERIFY(m_log.isEmpty());
    QCOMPARE(changes.size(), 0);
}

void TestShellLink::refreshAndUpdate()
{
    m_link->BroadcastFullRefresh(m_c.get());
    QCOMPARE(m_log, (QStringList{"A:full", "B:full"}));
    m_log.clear();
    m_link->BroadcastUpdate(m_a.get());
    QCOMPARE(m_log, (QStringList{"B:update", "C:update"}));
    m_log.clear();
    m_link->BroadcastUpdate(nullptr);
    QCOMPARE(m_log, (QStringList{"A:update", "B:update", "C:update"}));
}

void TestShellLink::failingControlReenables()
{
    QSignalSpy changes(m_link.get(), &TShellLink::OnChange);
    m_b->throwOnBrowse = true;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_link->BroadcastFolder(m_a.get(), twoItems()));
    QVERIFY(m_link->Enabled());
    QCOMPARE(changes.size(), 0);
    QCOMPARE(m_log, (QStringList{"B:browse2"}));
}

void TestShellLink::controlLeavingDuringPass()
{
    // A reacts by unregistering C, which must then not be called any more.
    m_a->onBrowse = [this] { m_link->UnregisterControl(m_c.get()); };
    m_link->BroadcastFolder(m_b.get(), twoItems());
    QCOMPARE(m_log, (QStringList{"A:browse2"}));
}

void TestShellLink::destroyDropsLinks()
{
    m_link.reset();
    QCOMPARE(m_log, (QStringList{"C:link=none", "B:link=none", "A:link=none"}));
    for (FakeControl* c : {m_a.get(), m_b.get(), m_c.get()})
        QCOMPARE(c->ShellLink(), nullptr);
}

QTEST_GUILESS_MAIN(TestShellLink)
#include "tst_shelllink.moc"
