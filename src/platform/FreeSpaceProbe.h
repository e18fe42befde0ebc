#pragma once
// Asks for the free space of a volume on a thread of its own and hands the answer to
// the thread that owns the probe, so that a file system that hangs (a network mount
// whose server is gone) never stalls that thread. One question is asked at a time for
// each tag; a question left unanswered keeps only its own thread. The main window owns
// one for its status bar.

#include <QByteArray>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

class FreeSpaceProbe : public QObject
{
public:
    // The question: all free bytes of the volume that holds a path, or nothing.
    using Query = std::function<std::optional<std::uint64_t>(const QByteArray& path)>;
    // Called on the owner's thread with the tag the question was asked with.
    using Answer = std::function<void(std::uint64_t tag, std::optional<std::uint64_t> freeBytes)>;

    FreeSpaceProbe(Query query, Answer answer, QObject* parent = nullptr);
    ~FreeSpaceProbe() override;

    void setQuery(Query query) { m_query = std::move(query); }
    // Asks about `path` on another thread, unless a question with the same tag is
    // still unanswered; returns at once. False when nothing was asked.
    bool ask(const QByteArray& path, std::uint64_t tag);
    bool waiting() const { return m_waiting; }

private:
    struct Link;

    Query m_query;
    Answer m_answer;
    std::shared_ptr<Link> m_link; // shared with the threads still asking
    bool m_waiting = false;
    std::uint64_t m_tag = 0;
};

} // namespace platform
