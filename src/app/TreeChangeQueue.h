#pragma once
// The ordered hand-over of a scan's tree changes from the scan thread to the
// interface thread. The scan thread appends without ever waiting for the interface;
// the interface thread takes everything handed over so far, in the order of the walk.
// Both sides hold it through a shared pointer, so it outlives whichever ends first.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class TTreeChangeQueue
{
public:
    enum class Kind : std::uint8_t
    {
        Started,         // a scan began: name is the scan path, entry 1 the root
        FolderAdded,     // entry below parent, named name; topLevel when parent is the root
        FolderCompleted, // the walk of entry completed: its totals are final
        Finished,        // the scan ended; cancelled when its walk was cut short
    };

    struct Change
    {
        Kind kind;
        bool flag; // FolderAdded: top level; Finished: cancelled
        std::int32_t entry;
        std::int32_t parent;
        std::uint32_t nameOffset;
        std::uint32_t nameLength;
    };

    struct Batch
    {
        std::vector<Change> changes;
        std::string names;

        std::string_view name(const Change& c) const
        {
            return {names.data() + c.nameOffset, c.nameLength};
        }
        void clear()
        {
            changes.clear();
            names.clear();
        }
    };

    // Scan thread.
    void Started(std::string_view scanPath);
    void FolderAdded(std::int32_t parent, std::int32_t entry, std::string_view name, bool topLevel);
    void FolderCompleted(std::int32_t entry);
    void Finished(bool cancelled);

    // Interface thread: moves everything handed over so far into `into` (which is
    // cleared first) and keeps `into`'s old buffers for reuse.
    void TakeAll(Batch& into);

private:
    void append(Kind kind, bool flag, std::int32_t entry, std::int32_t parent,
                std::string_view name);

    std::mutex m_mutex;
    Batch m_pending;
};
