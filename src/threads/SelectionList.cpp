#include "threads/SelectionList.h"

#include "platform/DirectorySearch.h"
#include "platform/PathAt.h"
#include "shell/ShellLink.h"
#include "shell/ShellNamespace.h"
#include "threads/FolderSizeThread.h"
#include "threads/ThreadPools.h"
#include "threads/WorkerThreadPool.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>

namespace threads {

namespace {

bool isFolderEntry(const QByteArray& entry)
{
    return entry.endsWith("/*");
}

// The object an entry names: the folder of a folder entry, the file of a file entry.
QByteArray objectOf(const QByteArray& entry)
{
    if (!isFolderEntry(entry))
        return entry;
    return entry.size() == 2 ? QByteArray("/") : entry.chopped(2);
}

QByteArray folderEntry(const QByteArray& folder)
{
    return folder == "/" ? QByteArray("/*") : folder + "/*";
}

QByteArray parentOf(const QByteArray& object)
{
    const qsizetype cut = object.lastIndexOf('/');
    return cut <= 0 ? QByteArray("/") : object.left(cut);
}

QByteArray childOf(const QByteArray& folder, std::string_view name)
{
    QByteArray child = folder;
    if (!child.endsWith('/'))
        child += '/';
    return child.append(name.data(), qsizetype(name.size()));
}

// The object a path names, spelled the one way entries are: absolute, no empty or "."
// components, no trailing "/". A trailing "/*" asks for the folder form and goes.
// False for what cannot be an entry: relative paths, ".." (which a link makes
// ambiguous) and a last component "*" (whose entry would read as a folder entry).
bool canonicalObject(const QByteArray& path, QByteArray& object)
{
    if (!path.startsWith('/') || path.contains('\0'))
        return false;
    const QByteArray body = isFolderEntry(path) ? path.chopped(1) : path;
    object.clear();
    QByteArray last;
    for (const QByteArray& part : body.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            return false;
        object += '/' + part;
        last = part;
    }
    if (object.isEmpty())
        object = "/";
    return last != "*";
}

// Linux's folder shortcut is a symbolic link to a folder; its target is given as the
// folder's canonical path, since entries never hold "..".
bool isFolderShortcut(const QByteArray& path, QByteArray& target)
{
    QByteArray object;
    struct stat st;
    if (!canonicalObject(path, object) || ::lstat(object.constData(), &st) != 0 ||
        !S_ISLNK(st.st_mode) || ::stat(object.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    target.clear();
    if (char* resolved = ::realpath(object.constData(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    return true;
}

// Lists a real folder (a link to one is a file); false when it cannot be listed.
bool listFolder(const QByteArray& folder, platform::DirectorySearch& search)
{
    struct stat st;
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return search.openPath(folder.toStdString(), nullptr);
}

// A drive root is a mount point: only those pay for reading the mount table.
bool mayBeDriveRoot(const QByteArray& object)
{
    if (object == "/")
        return true;
    struct stat self, parent;
    return ::lstat(object.constData(), &self) == 0 && S_ISDIR(self.st_mode) &&
           ::lstat(parentOf(object).constData(), &parent) == 0 && self.st_dev != parent.st_dev;
}

} // namespace

// Reads the entries of a selection on a worker: which have gone (or changed between
// file and folder), and the bytes and number of the files.
class TSelectionList::EntriesStat : public TBasicWorkItem
{
public:
    explicit EntriesStat(const shell::TFileNames& entries)
    {
        // Bytes of their own: Qt counts shared data inside its library, out of sight of
        // ThreadSanitizer.
        m_entries.reserve(entries.size());
        for (const QByteArray& entry : entries)
            m_entries.append(QByteArray(entry.constData(), entry.size()));
    }

    void Execute() override
    {
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            if (CheckCancelled())
                return;
            const bool folder = isFolderEntry(m_entries[i]);
            const platform::PathAt at(objectOf(m_entries[i]).toStdString());
            struct stat st;
            if (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                S_ISDIR(st.st_mode) != folder) {
                m_gone.append(i);
            } else if (!folder) {
                m_bytes += st.st_size;
                m_files += 1;
            }
        }
    }

    // Read by the completion, after Execute.
    const shell::TFileNames& Entries() const { return m_entries; }
    const QList<qsizetype>& Gone() const { return m_gone; }
    std::int64_t Bytes() const { return m_bytes; }
    std::int64_t Files() const { return m_files; }

private:
    shell::TFileNames m_entries;
    QList<qsizetype> m_gone;
    std::int64_t m_bytes = 0;
    std::int64_t m_files = 0;
};

// Collects the changes of one operation into one change report.
class TSelectionList::Batch
{
public:
    explicit Batch(TSelectionList& list) : m_list(list) { ++m_list.m_batchDepth; }
    ~Batch()
    {
        if (--m_list.m_batchDepth != 0)
            return;
        if (m_list.m_remeasure || m_list.m_changed) {
            m_list.m_remeasure = false;
            m_list.Recompute();
        }
        if (m_list.m_changed) {
            m_list.m_changed = false;
            m_list.Changed();
        }
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    TSelectionList& m_list;
};

TSelectionList::TSelectionList(shell::TShellLink* link) : QObject(link), m_link(link) {}

TSelectionList::~TSelectionList()
{
    CancelOwnSizes();
}

void TSelectionList::Changed()
{
    emit OnChange(this);
    if (m_link && !m_updating)
        m_link->BroadcastUpdate(nullptr);
}

void TSelectionList::EndUpdate()
{
    m_updating = false;
    Changed();
}

void TSelectionList::AppendEntry(const QByteArray& entry)
{
    if (m_index.contains(entry))
        return;
    m_paths.append(entry);
    m_index.insert(entry);
    m_changed = true;
}

void TSelectionList::DeleteEntry(const QByteArray& entry)
{
    const qsizetype at = m_paths.indexOf(entry);
    if (at < 0)
        return;
    m_paths.removeAt(at);
    m_index.remove(entry);
    m_changed = true;
}

void TSelectionList::SetPaths(const shell::TFileNames& paths)
{
    Batch batch(*this);
    Clear();
    for (const QByteArray& path : paths)
        SelectPath(path);
}

void TSelectionList::Clear()
{
    Batch batch(*this);
    // Sizes still being measured belong to entries that are gone: their results must
    // not reach the totals of whatever is selected next.
    CancelSizes();
    if (!m_paths.isEmpty())
        m_changed = true;
    m_paths.clear();
    m_index.clear();
}

bool TSelectionList::NormalizePath(QByteArray& path) const
{
    QByteArray object;
    struct stat st;
    if (!canonicalObject(path, object) || ::lstat(object.constData(), &st) != 0)
        return false;
    path = S_ISDIR(st.st_mode) ? folderEntry(object) : object;
    return true;
}

bool TSelectionList::Resolve(QByteArray& path) const
{
    QByteArray target;
    if (isFolderShortcut(path, target)) {
        if (!m_resolveShortcuts)
            return false;
        // A link that lies in the selection itself, as an entry a split folder left or
        // inside a folder entry, is what its check box shows and takes out.
        QByteArray own = path;
        if (NormalizePath(own) && IsCovered(own)) {
            path = own;
            return true;
        }
        path = target;
    }
    return NormalizePath(path);
}

TSelectionState TSelectionList::GetState(const QByteArray& path, bool* inherited) const
{
    if (inherited)
        *inherited = false;
    if (path.isEmpty())
        return ssNoCheckBox;
    QByteArray object;
    if (canonicalObject(path, object) && mayBeDriveRoot(object) && shell::IsDriveRoot(object) &&
        !shell::IsDriveReady(object))
        return ssNoCheckBox;
    QByteArray entry = path;
    if (!Resolve(entry))
        return ssNoCheckBox;
    bool covered = false;
    const TSelectionState state = LookupState(entry, covered);
    if (inherited)
        *inherited = covered;
    return state;
}

TSelectionState TSelectionList::LookupState(const QByteArray& path, bool& inherited) const
{
    inherited = false;
    if (m_index.contains(path))
        return ssSelected;
    if (IsCovered(path)) {
        inherited = true;
        return ssSelected;
    }
    if (path.isEmpty())
        return ssNotSelected;
    // Below means starting with the folder's path: an entry that merely holds the same
    // text further on (/x/a/b/f for /a/b) lies elsewhere.
    const QByteArray prefix = isFolderEntry(path) ? path.chopped(1) : path + '/';
    for (const QByteArray& entry : m_paths) {
        if (entry.startsWith(prefix))
            return ssPartlySelected;
    }
    return ssNotSelected;
}

bool TSelectionList::IsCovered(const QByteArray& path) const
{
    QByteArray p = path;
    for (;;) {
        if (m_index.contains(p))
            return true;
        QByteArray above;
        if (!p.endsWith('*')) {
            above = folderEntry(parentOf(p));
        } else {
            const QByteArray folder = p.chopped(2);
            if (folder.isEmpty())
                return false;
            above = folderEntry(parentOf(folder));
        }
        if (above == p)
            return false;
        p = above;
    }
}

void TSelectionList::SelectPath(QByteArray path)
{
    Batch batch(*this);
    m_remeasure = true;
    if (!Resolve(path))
        return;
    const TSelectionState state = GetState(path);
    if (state == ssSelected || state == ssNoCheckBox)
        return;
    if (state == ssPartlySelected)
        RemoveBelow(path);
    AppendEntry(path);
}

void TSelectionList::DeselectPath(QByteArray path)
{
    Batch batch(*this);
    m_remeasure = true;
    bool inherited = false;
    const TSelectionState state = GetState(path, &inherited);
    if (state != ssSelected && state != ssPartlySelected)
        return;
    QByteArray entry = path;
    if (!Resolve(entry))
        return;
    if (state == ssPartlySelected) {
        RemoveBelow(entry);
        return;
    }
    if (!inherited) {
        DeleteEntry(entry);
        return;
    }
    const QByteArray object = objectOf(entry);
    QByteArray covering;
    ExpandFrom(parentOf(object), object, covering);
    DeleteEntry(covering);
}

void TSelectionList::RemoveBelow(const QByteArray& path)
{
    Batch batch(*this);
    QByteArray prefix = path;
    if (prefix.endsWith('*'))
        prefix.chop(1);
    if (!prefix.endsWith('/'))
        prefix += '/';
    // One pass: a split folder may have left thousands of entries.
    shell::TFileNames kept;
    kept.reserve(m_paths.size());
    for (const QByteArray& entry : std::as_const(m_paths)) {
        if (!entry.startsWith(prefix)) {
            kept.append(entry);
            continue;
        }
        m_index.remove(entry);
        m_changed = true;
    }
    m_paths = std::move(kept);
}

void TSelectionList::ExpandCovering(const QByteArray& folder, const QByteArray& path,
                                    QByteArray& result)
{
    Batch batch(*this);
    ExpandFrom(shell::WithoutTrailingSlash(folder), objectOf(path), result);
}

void TSelectionList::ExpandFrom(QByteArray folder, QByteArray path, QByteArray& result)
{
    folder = shell::WithoutTrailingSlash(folder);
    for (;;) {
        if (folder == path)
            return;
        platform::DirectorySearch search;
        if (listFolder(folder, search)) {
            for (std::size_t i = 0; i < search.count(); ++i) {
                const QByteArray full = childOf(folder, search.name(i));
                if (full != path && search.name(i) != "*")
                    AppendEntry(search.entry(i).isDirectory ? folderEntry(full) : full);
            }
        }
        if (m_index.contains(folderEntry(folder))) {
            result = folderEntry(folder);
            return;
        }
        path = folder;
        folder = parentOf(folder);
    }
}

QByteArray TSelectionList::CollapseTarget(const QByteArray& path) const
{
    QByteArray object;
    if (!canonicalObject(path, object))
        return {};
    QByteArray result;
    CollapseUp(parentOf(object), object, result);
    return result;
}

void TSelectionList::CollapseUp(const QByteArray& folderPath, const QByteArray& path,
                                QByteArray& result) const
{
    QByteArray folder = shell::WithoutTrailingSlash(folderPath);
    QByteArray object = path;
    for (;;) {
        result.clear();
        if (folder == object) {
            result = shell::WithTrailingSlash(object);
            return;
        }
        // A folder that cannot be listed may hold anything: it does not join.
        platform::DirectorySearch search;
        if (!listFolder(folder, search)) {
            result = object;
            return;
        }
        for (std::size_t i = 0; i < search.count(); ++i) {
            const QByteArray full = childOf(folder, search.name(i));
            if (full != object && !AllSelected(full)) {
                result = object;
                return;
            }
        }
        object = folder;
        folder = parentOf(folder);
    }
}

bool TSelectionList::AllSelected(const QByteArray& path) const
{
    if (path.isEmpty())
        return false;
    const QByteArray p = shell::WithoutTrailingSlash(path);
    if (m_index.contains(p) || m_index.contains(folderEntry(p)))
        return true;
    platform::DirectorySearch search;
    if (!listFolder(p, search) || search.count() == 0)
        return false;
    for (std::size_t i = 0; i < search.count(); ++i) {
        const QByteArray full = childOf(p, search.name(i));
        const bool selected = search.entry(i).isDirectory
                                  ? m_index.contains(folderEntry(full)) || AllSelected(full)
                                  : m_index.contains(full);
        if (!selected)
            return false;
    }
    return true;
}

TSelectionState TSelectionList::GetItemState(const shell::TIdList& item) const
{
    if (item.isNull())
        return ssNoCheckBox;
    const shell::TIdList drives = shell::SpecialFolderIDList(shell::SF_DRIVES);
    if (!drives.isNull() && shell::CompareIDs(0, item, drives) == 0) {
        // Every entry is an absolute path, and so lies on one of the drives.
        return m_paths.isEmpty() ? ssNoCheckBox : ssPartlySelected;
    }
    const shell::TIdList network = shell::SpecialFolderIDList(shell::SF_NETWORK);
    if (!network.isNull() && shell::CompareIDs(0, item, network) == 0) {
        const bool any = std::any_of(m_paths.begin(), m_paths.end(),
                                     [](const QByteArray& p) { return shell::IsUNCPath(p); });
        return any ? ssPartlySelected : ssNoCheckBox;
    }
    return GetState(shell::PathFromIDList(item));
}

void TSelectionList::SelectItem(const shell::TIdList& item)
{
    SelectPath(shell::PathFromIDList(item));
}

void TSelectionList::DeselectItem(const shell::TIdList& item)
{
    DeselectPath(shell::PathFromIDList(item));
}

shell::TIdList TSelectionList::CollapseItem(const shell::TIdList& item) const
{
    const QByteArray target = CollapseTarget(shell::PathFromIDList(item));
    return target.isEmpty() ? shell::TIdList() : shell::IDListFromPath(target);
}

TSelectionState TSelectionList::ToggleItem(const shell::TIdList& item)
{
    // The drives and network folders only show what lies below them.
    const QByteArray path = shell::PathFromIDList(item);
    if (path.isEmpty())
        return GetItemState(item);
    return TogglePath(path);
}

TSelectionState TSelectionList::TogglePath(const QByteArray& path)
{
    BeginUpdate();
    {
        // One measure for the whole click.
        Batch batch(*this);
        m_remeasure = true;
        const TSelectionState state = GetState(path);
        if (state == ssSelected) {
            DeselectPath(path);
        } else if (state == ssNotSelected || state == ssPartlySelected) {
            SelectPath(path);
            SelectPath(CollapseTarget(path));
        }
    }
    const TSelectionState now = GetState(path);
    EndUpdate();
    return now;
}

void TSelectionList::QueueSize(const QByteArray& folder)
{
    TWorkerThreadPool* pool = SelectionPool();
    if (!pool)
        return;
    auto item = std::make_shared<TFolderSizeThread>(folder, true);
    item->SetOwner(this);
    item->SetOnDone(
        this, [this](TBasicWorkItem& done) { SizeDone(static_cast<TFolderSizeThread&>(done)); });
    m_sizing.append(item);
    pool->AddWorkItem(item);
}

void TSelectionList::SizeDone(TFolderSizeThread& item)
{
    m_sizing.removeIf([&item](const auto& queued) { return queued.get() == &item; });
    if (!item.CheckCancelled()) {
        m_totalBytes += item.Sign() * std::int64_t(item.Bytes());
        m_totalFiles += item.Sign() * item.Files();
        m_totalFolders += item.Sign() * item.Folders();
        emit OnCompletedCalculateFiles(this);
    }
    if (m_paths.isEmpty())
        ZeroTotals();
}

void TSelectionList::Recompute()
{
    CancelOwnSizes();
    ZeroTotals();
    TWorkerThreadPool* pool = SelectionPool();
    if (m_paths.isEmpty() || !pool)
        return;
    // The disk is read on the workers: one item looks at every entry and measures the
    // files, one per folder entry measures the folder.
    auto stat = std::make_shared<EntriesStat>(m_paths);
    stat->SetOwner(this);
    stat->SetOnDone(
        this, [this](TBasicWorkItem& done) { EntriesChecked(static_cast<EntriesStat&>(done)); });
    m_sizing.append(stat);
    pool->AddWorkItem(stat);
    if (!m_calculateSizes)
        return;
    for (const QByteArray& entry : std::as_const(m_paths)) {
        if (isFolderEntry(entry))
            QueueSize(objectOf(entry));
    }
}

void TSelectionList::EntriesChecked(EntriesStat& item)
{
    m_sizing.removeIf([&item](const auto& queued) { return queued.get() == &item; });
    if (item.CheckCancelled())
        return;
    // An entry whose object has gone, or is no longer a folder or no longer a file, names
    // nothing of what was chosen: it leaves the selection. A folder entry that went adds
    // nothing: its measure found no folder.
    bool changed = false;
    for (const qsizetype i : item.Gone()) {
        const QByteArray& entry = item.Entries()[i];
        if (m_index.remove(entry)) {
            m_paths.removeOne(entry);
            changed = true;
        }
    }
    if (m_calculateSizes && item.Files() > 0) {
        m_totalBytes += item.Bytes();
        m_totalFiles += item.Files();
        emit OnCompletedCalculateFiles(this);
    }
    if (m_paths.isEmpty())
        ZeroTotals();
    if (changed)
        Changed();
}

void TSelectionList::CancelOwnSizes()
{
    // Only this list's jobs: the pool is shared, and ending its workers would cut short
    // the measures of every other list.
    for (const auto& item : std::as_const(m_sizing))
        item->Cancel();
    m_sizing.clear();
}

void TSelectionList::CancelSizes()
{
    CancelOwnSizes();
    ZeroTotals();
}

void TSelectionList::ZeroTotals()
{
    m_totalBytes = 0;
    m_totalFiles = 0;
    m_totalFolders = 0;
}

} // namespace threads
