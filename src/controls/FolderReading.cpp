#include "controls/FolderReading.h"

#include "controls/ShellList.h"
#include "platform/HandOver.h"
#include "shell/ShellNavigator.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

using namespace shell;

namespace {

// Items go into the queue in steps of this many: the list's first take after its own
// page finds them without waiting for the end of a large folder.
constexpr size_t kStep = 512;

} // namespace

// What the thread shares with the list. The receiver is woken under the lock and cut off
// under it, so a wake-up is posted while the list exists (and dropped with it) or not at
// all; at most one wake-up is on its way at a time.
struct TFolderReading::Link
{
    std::mutex mutex;
    QObject* receiver = nullptr;
    std::function<void()> ready; // used on the receiver's thread only
    std::atomic_bool cancelled{false};
    bool wakePending = false;
    Batch waiting;
};

void TFolderReading::hand(const std::shared_ptr<Link>& link, Items& items, Batch* last)
{
    const std::lock_guard lock(link->mutex);
    if (!link->receiver)
        return;
    Batch& waiting = link->waiting;
    std::move(items.begin(), items.end(), std::back_inserter(waiting.items));
    items.clear();
    if (last) {
        waiting.finished = true;
        waiting.read = std::move(last->read);
        waiting.order = std::move(last->order);
    }
    if (link->wakePending)
        return;
    link->wakePending = true;
    platform::HandOver(link->receiver, [link] {
        {
            const std::lock_guard taken(link->mutex);
            link->wakePending = false;
            if (!link->receiver)
                return;
        }
        link->ready();
    });
}

void TFolderReading::readRest(const std::shared_ptr<Link>& link, Request request,
                              std::unique_ptr<EnumIDList> pass)
{
    TShellNavigator nav;
    nav.SetShowErrorMessages(false);
    nav.SetFileSystemOnly(request.fileSystemOnly);
    Batch last;
    last.read = std::move(request.listed);
    Items items;
    try {
        nav.SetFolderIDList(request.folder);
        nav.SetFilter(request.filter);
        nav.ContinueEnumeration(std::move(pass));
        while (!link->cancelled.load(std::memory_order_relaxed) && nav.NextObject()) {
            std::unique_ptr<TWideListItem> item =
                TShellList::makeItem(nav, request.options, request.showFolders);
            if (!item)
                continue;
            last.read.push_back(item->Data.ItemID);
            items.push_back(std::move(item));
            if (items.size() >= kStep)
                hand(link, items, nullptr);
        }
    } catch (const EShellNavigatorError&) {
        // The folder went away meanwhile: what was read stays listed.
    }
    if (link->cancelled.load(std::memory_order_relaxed))
        return;
    if (request.orderColumn >= 0 && nav.ShellFolder()) {
        std::vector<const TIdList*> ids;
        ids.reserve(last.read.size());
        for (const TIdList& id : last.read)
            ids.push_back(&id);
        last.order =
            TShellList::NamespaceOrder(nav.ShellFolder(), request.orderColumn, request.descending,
                                       ids, std::vector<char>(ids.size(), 0));
    }
    hand(link, items, &last);
}

TFolderReading::TFolderReading(std::shared_ptr<Link> link) : m_link(std::move(link)) {}

std::unique_ptr<TFolderReading> TFolderReading::start(QObject* receiver, Request request,
                                                      std::unique_ptr<EnumIDList> pass,
                                                      std::function<void()> ready)
{
    auto link = std::make_shared<Link>();
    link->receiver = receiver;
    link->ready = std::move(ready);
    try {
        std::thread([link, request = std::move(request), pass = std::move(pass)]() mutable {
            readRest(link, std::move(request), std::move(pass));
        }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    return std::unique_ptr<TFolderReading>(new TFolderReading(std::move(link)));
}

TFolderReading::~TFolderReading()
{
    m_link->cancelled.store(true, std::memory_order_relaxed);
    Batch dropped; // its items go outside the lock
    const std::lock_guard lock(m_link->mutex);
    m_link->receiver = nullptr;
    m_link->ready = nullptr;
    dropped = std::move(m_link->waiting);
}

TFolderReading::Batch TFolderReading::take()
{
    const std::lock_guard lock(m_link->mutex);
    return std::exchange(m_link->waiting, Batch());
}
