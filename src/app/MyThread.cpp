#include "app/MyThread.h"

#include "app/FolderSizeStore.h"
#include "platform/NumberText.h"
#include "platform/PathNames.h"

#include <QFile>
#include <algorithm>
#include <system_error>
#include <thread>

std::shared_ptr<TMyThread> TMyThread::Start(const QString& folderText,
                                            std::shared_ptr<TTreeChangeQueue> queue,
                                            TFolderSizeStore& store, int readAheadThreads)
{
    auto thread = std::make_shared<TMyThread>(LongFormPath(folderText), std::move(queue), store,
                                              readAheadThreads);
    try {
        // The thread holds a strong reference: the object is freed when the walk ends,
        // and a process that exits meanwhile does not wait for it.
        std::thread([self = thread] { self->RunScan(); }).detach();
    } catch (const std::system_error&) {
        return {};
    }
    return thread;
}

TMyThread::TMyThread(QByteArray scanPath, std::shared_ptr<TTreeChangeQueue> queue,
                     TFolderSizeStore& store, int readAheadThreads)
    : m_scanPath(std::move(scanPath)), m_queue(std::move(queue)), m_store(store),
      m_readAheadThreads(readAheadThreads), m_levelNames(size_t(MaxScanDepth) + 1),
      m_levelIds(size_t(MaxScanDepth) + 1)
{
}

QByteArray TMyThread::LongFormPath(const QString& folderText)
{
    return platform::LongFormPath(QFile::encodeName(folderText));
}

QString TMyThread::SizeText(std::int64_t bytes)
{
    return platform::fixed2(double(bytes) / 1024 / 1024) + QLatin1String(" MB");
}

QString TMyThread::CountText(std::int64_t files)
{
    return QString::number(files) + QLatin1String(" Dateien");
}

QString TMyThread::CompletedNodeText(std::int64_t bytes, const QString& name, std::int64_t files)
{
    static const QString filler = QString(54, QLatin1Char('w'));
    return SizeText(bytes) + QLatin1Char('\t') + name + QLatin1Char('\t') + CountText(files) +
           QLatin1Char('\t') + filler;
}

void TMyThread::WalkWithinTree(int depth, std::vector<std::string> keptFolders,
                               std::vector<platform::FolderId> above)
{
    m_deepest = std::clamp(MaxScanDepth - depth, 0, MaxScanDepth);
    m_keptFolders = std::move(keptFolders);
    m_idsAbove = above.size();
    above.resize(above.size() + m_levelIds.size());
    m_levelIds = std::move(above);
}

void TMyThread::RunScan()
{
    m_mounts = platform::MountTable::read();
    if (m_readAheadThreads > 0) {
        // The levels it covers are those the walk keeps open, so the walk's own way of
        // holding deeper levels is left as it is.
        platform::ReadAhead::Limits limits;
        limits.levels = size_t(kLevelsKeptOpen);
        m_readAhead = std::make_unique<platform::ReadAhead>(m_readAheadThreads, limits, &m_mounts,
                                                            &m_terminated);
        if (m_readAhead->threads() == 0)
            m_readAhead.reset();
    }
    m_store.Reset();
    LevelNodes[0] = m_store.FolderEntryCount();
    m_queue->Started(std::string_view(m_scanPath.constData(), size_t(m_scanPath.size())));
    WalkFolder(0, {}, 0);
    m_queue->Finished(Terminated());
    // Only now: a read stuck on a hung file system delays nothing the user waits for.
    m_readAhead.reset();
}

void TMyThread::AddFolderNode(std::string_view name, int level)
{
    const std::int32_t entry = m_store.AddEntry();
    m_queue->FolderAdded(LevelNodes[size_t(level)], entry, name, level == 0);
    LevelNodes[size_t(level) + 1] = entry;
}

void TMyThread::WalkFolder(int level, std::string_view name, size_t index)
{
    const auto d = size_t(level);
    LevelBytes[d] = 0;
    LevelFiles[d] = 0;
    EnterLevel(d, name, index);
    platform::DirectorySearch& search = FindRec(d);
    for (size_t i = 0; i < search.count(); ++i) {
        if (Terminated())
            break;
        const platform::DirectorySearch::Entry& e = search.entry(i);
        if (!e.isDirectory) {
            CountFile(d, e.size);
            continue;
        }
        const std::string_view child = search.name(i);
        if (child == "." || child == "..")
            continue;
        if (level == 0 && !m_keptFolders.empty() &&
            std::binary_search(m_keptFolders.begin(), m_keptFolders.end(), child)) {
            m_keptFound.emplace_back(child);
            continue;
        }
        if (level < m_deepest) {
            AddFolderNode(child, level);
            WalkFolder(level + 1, child, i);
        } else {
            SumBelowDeepestNode(child, i);
        }
    }
    LeaveLevel(d);

    if (!Terminated())
        PublishLevel(level);
}

void TMyThread::SumBelowDeepestNode(std::string_view name, size_t index)
{
    // The tree ends at the deepest node, but its totals are those of its whole
    // subtree: the folders below it are walked without nodes, one level after the
    // other (no recursion, so no depth can exhaust the stack).
    const auto deepest = size_t(m_deepest);
    EnterLevel(deepest + 1, name, index);
    m_deeperNext.assign(1, 0);
    while (!m_deeperNext.empty()) {
        const size_t level = deepest + m_deeperNext.size();
        platform::DirectorySearch& search = FindRec(level);
        const size_t i = m_deeperNext.back()++;
        if (i >= search.count() || Terminated()) {
            LeaveLevel(level);
            m_deeperNext.pop_back();
        } else if (!search.entry(i).isDirectory) {
            CountFile(deepest, search.entry(i).size);
        } else if (level < kDeepestWalkedLevel) {
            EnterLevel(level + 1, search.name(i), i);
            m_deeperNext.push_back(0);
        }
    }
}

void TMyThread::CountFile(size_t level, std::int64_t size)
{
    LevelBytes[level] += size;
    LevelFiles[level] += 1;
    m_store.CountFile(size);
}

void TMyThread::EnterLevel(size_t level, std::string_view name, size_t index)
{
    if (level == 0) {
        // The root is walked with a separator appended, but named without it. An
        // empty path names nothing: the scan then has a single empty root.
        std::string path(m_scanPath.constData(), size_t(m_scanPath.size()));
        if (!path.empty() && path.back() != '/')
            path += '/';
        m_rootListed = FindRecs[0].openPath(path, &m_mounts, &m_terminated);
        m_levelIds[m_idsAbove] = FindRecs[0].id();
        if (std::find(m_levelIds.begin(), m_levelIds.begin() + std::ptrdiff_t(m_idsAbove),
                      FindRecs[0].id()) != m_levelIds.begin() + std::ptrdiff_t(m_idsAbove))
            FindRecs[0].close(); // a folder above it again: it would repeat them for ever
        if (m_readAhead)
            m_readAhead->begin(FindRecs[0]);
        return;
    }
    if (m_idsAbove + level >= m_levelIds.size())
        m_levelIds.resize(m_idsAbove + level + 1);
    if (level >= m_levelNames.size())
        m_levelNames.resize(level + 1);
    if (level >= size_t(MaxScanDepth) + m_deeperRecs.size())
        m_deeperRecs.emplace_back();
    platform::DirectorySearch& parent = FindRec(level - 1);
    platform::DirectorySearch& search = FindRec(level);
    m_levelNames[level] = name;
    if (m_readAhead && m_readAhead->take(level, index, search)) {
        m_levelIds[m_idsAbove + level] = search.id();
        return;
    }
    if (search.open(parent.fd(), name, &m_mounts, &m_terminated,
                    {m_levelIds.data(), m_idsAbove + level}) &&
        level > size_t(kLevelsKeptOpen))
        parent.park();
    m_levelIds[m_idsAbove + level] = search.id();
}

void TMyThread::LeaveLevel(size_t level)
{
    platform::DirectorySearch& search = FindRec(level);
    if (level > 0 && FindRec(level - 1).isParked())
        ReopenLevel(level - 1, search.fd());
    search.close();
}

void TMyThread::ReopenLevel(size_t level, int childFd)
{
    // The way back up is the child's "..", unless the child was moved away meanwhile:
    // then the folder is looked up by name again, from the nearest level that is
    // still open. Only when the folder itself (or a folder above it) moved is it
    // given up, and its remaining subfolders count as empty.
    platform::DirectorySearch& search = FindRec(level);
    if (search.unpark(childFd, ".."))
        return;
    size_t top = level;
    while (FindRec(top - 1).isParked())
        --top; // level 0 is never parked
    for (size_t k = top; k <= level; ++k) {
        const bool found = FindRec(k).unpark(FindRec(k - 1).fd(), m_levelNames[k]);
        if (k > top)
            FindRec(k - 1).park();
        if (!found) {
            // Everything below the folder at k moved with it; k itself is tried
            // again when the walk comes back to it.
            for (size_t below = k == level ? k : k + 1; below <= level; ++below)
                FindRec(below).abandon();
            return;
        }
    }
}

void TMyThread::PublishLevel(int level)
{
    // Every level on the path gets its partial totals, the completed one its final.
    std::int64_t bytes = 0;
    std::int64_t files = 0;
    for (int i = level; i >= 0; --i) {
        bytes += LevelBytes[size_t(i)];
        files += LevelFiles[size_t(i)];
        m_store.StoreTotals(LevelNodes[size_t(i)], bytes, files);
    }
    if (level > 0) {
        LevelBytes[size_t(level) - 1] += LevelBytes[size_t(level)];
        LevelFiles[size_t(level) - 1] += LevelFiles[size_t(level)];
    }
    m_queue->FolderCompleted(LevelNodes[size_t(level)]);
}
