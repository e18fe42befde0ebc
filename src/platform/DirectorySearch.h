#pragma once
// One open folder and its listing, the way the folder walk reads it: names as raw
// bytes, the folder flag from the entry's own type, symbolic links never followed
// (a link is a file of its own size), 64-bit apparent sizes. A search is reused
// level by level by its owner, so its buffers keep their capacity between folders.
// The read-ahead fills searches on its own threads and shares them with the walk:
// a listing never changes once it is shared, and the folder's descriptor is a shared
// handle that the reads of its subfolders hold for as long as they need it.

#include "platform/FolderHandle.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform {

class EntryBudget;
class MountTable;

// Which folder a descriptor or a listing belongs to, whatever name it was reached by.
struct FolderId
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderId&) const = default;
};

class DirectorySearch
{
public:
    struct Entry
    {
        std::uint32_t nameOffset;
        std::uint16_t nameLength;
        bool isDirectory;
        std::int64_t size; // files only; 0 for folders
    };

    DirectorySearch() = default;
    ~DirectorySearch() { close(); }
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;

    // Opens the folder `name` below the open folder `parentFd` without following a
    // link, and reads all its entries ("." and ".." left out). Returns false when the
    // folder cannot be listed (no access, vanished, not a folder); the search is then
    // empty. A folder on a pseudo file system of `mounts` opens but lists nothing, and
    // so does a folder that is one of `path`, the folders the walk came down through
    // (a bind mount inside itself): it would repeat them for ever.
    // Reading stops early, leaving what was read, when `stop` becomes true. With a
    // `budget`, every entry kept is drawn from it; when it runs dry the listing stays
    // incomplete, and `readRest` reads the remaining entries later.
    bool open(int parentFd, std::string_view name, const MountTable* mounts,
              const std::atomic_bool* stop = nullptr, std::span<const FolderId> path = {},
              EntryBudget* budget = nullptr);
    // The same for a path typed by the user; links along the path are followed.
    bool openPath(const std::string& path, const MountTable* mounts,
                  const std::atomic_bool* stop = nullptr);
    void close();

    // Whether a budget cut the listing short; only such a listing has a rest to read.
    bool complete() const { return m_complete; }
    void readRest(const std::atomic_bool* stop);

    bool isOpen() const { return m_handle || m_parked; }
    int fd() const { return m_handle ? m_handle->fd() : -1; }
    const SharedFolderHandle& handle() const { return m_handle; }
    // Lets go of the descriptor but keeps the listing (it closes when no read of a
    // subfolder holds it any more).
    void dropHandle() { m_handle.reset(); }
    // Makes this search show the listing of `other` (and hold its descriptor, when
    // `withHandle`). The listing is shared, not copied: neither side changes it again.
    void share(const DirectorySearch& other, bool withHandle);

    std::size_t count() const { return m_listing ? m_listing->entries.size() : 0; }
    const Entry& entry(std::size_t i) const { return m_listing->entries[i]; }
    std::string_view name(std::size_t i) const
    {
        const Entry& e = m_listing->entries[i];
        return {m_listing->names.data() + e.nameOffset, e.nameLength};
    }
    // Hidden entries are those whose name begins with a dot.
    bool isHidden(std::size_t i) const
    {
        return m_listing->names[m_listing->entries[i].nameOffset] == '.';
    }
    // The index of the first folder entry at or after `from`; count() when there is none.
    std::size_t nextFolder(std::size_t from) const
    {
        while (from < count() && !entry(from).isDirectory)
            ++from;
        return from;
    }
    dev_t device() const { return m_id.device; }
    ino_t inode() const { return m_id.inode; }
    FolderId id() const { return m_id; }

    // Hands the descriptor back while a deep branch below is walked, so that a chain
    // of a thousand folders does not hold a thousand descriptors; the listing stays.
    // `unpark` opens the folder again as `name` below the open folder `dirFd` (".."
    // below an open child, or its own name below its open parent) and checks that it
    // is the same folder; when it is not, the search stays parked and false is
    // returned. `abandon` gives up a parked folder that cannot be found again: its
    // listing stays, but nothing below it can be opened.
    void park();
    bool isParked() const { return m_parked; }
    bool unpark(int dirFd, std::string_view name);
    void abandon() { m_parked = false; }

private:
    struct Listing
    {
        std::vector<Entry> entries;
        std::string names;
    };

    bool finishOpen(int fd, const MountTable* mounts, const std::atomic_bool* stop,
                    std::span<const FolderId> path, EntryBudget* budget);
    void readEntries(const std::atomic_bool* stop, EntryBudget* budget);

    SharedFolderHandle m_handle;
    bool m_parked = false;
    bool m_complete = true;
    FolderId m_id;
    std::shared_ptr<Listing> m_listing; // only ever changed while no one else holds it
};

// A seam for tests: called before a folder below another one is opened, on the thread
// that opens it (the walk's, or one that reads ahead of it). Returning false makes the
// folder behave as one that cannot be listed. A test may also block in it to hold the
// opening of a chosen folder, and with it the walk once the walk needs that folder.
using FolderOpenHook = std::function<bool(int parentFd, std::string_view name)>;
void setFolderOpenHook(FolderOpenHook hook);
// Whether the hook lets the folder `name` below `parentFd` be opened (true without one).
// Other readers of folders ask it too, so that a test can deny any folder.
bool FolderOpenAllowed(int parentFd, std::string_view name);

} // namespace platform
