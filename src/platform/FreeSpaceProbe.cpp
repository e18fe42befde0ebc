#include "platform/FreeSpaceProbe.h"
#include "platform/HandOver.h"

#include <mutex>
#include <system_error>
#include <thread>

namespace platform {

// What a question's thread shares with the probe: the probe, as long as it lives.
// An answer is posted under the lock, and the probe is cut off under it, so an answer
// is either posted while the probe exists (and dropped with it) or not at all.
struct FreeSpaceProbe::Link
{
    std::mutex mutex;
    FreeSpaceProbe* probe = nullptr;
};

FreeSpaceProbe::FreeSpaceProbe(Query query, Answer answer, QObject* parent)
    : QObject(parent), m_query(std::move(query)), m_answer(std::move(answer)),
      m_link(std::make_shared<Link>())
{
    m_link->probe = this;
}

FreeSpaceProbe::~FreeSpaceProbe()
{
    std::lock_guard lock(m_link->mutex);
    m_link->probe = nullptr;
}

bool FreeSpaceProbe::ask(const QByteArray& path, std::uint64_t tag)
{
    if (m_waiting && tag == m_tag)
        return false;
    auto deliver = [link = m_link, tag](std::optional<std::uint64_t> freeBytes) {
        std::lock_guard lock(link->mutex);
        if (!link->probe)
            return;
        FreeSpaceProbe* probe = link->probe;
        HandOver(probe, [probe, tag, freeBytes] {
            if (tag != probe->m_tag)
                return; // a question of an earlier tag, asked again since
            probe->m_waiting = false;
            probe->m_answer(tag, freeBytes);
        });
    };
    m_waiting = true;
    m_tag = tag;
    try {
        std::thread([query = m_query, path, deliver] {
            deliver(query ? query(path) : std::nullopt);
        }).detach();
    } catch (const std::system_error&) {
        m_waiting = false; // asked again at the next chance
        return false;
    }
    return true;
}

} // namespace platform
