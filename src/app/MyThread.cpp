#include "app/MyThread.h"

#include "app/FolderSizeStore.h"
#include "platform/NumberText.h"
#include "platform/PathNames.h"

#include <QFile>
#include <system_error>
#include <thread>

std::shared_ptr<TMyThread> TMyThread::Start(const QString& folderText,
                                            std::shared_ptr<TTreeChangeQueue> queue,
                                            TFolderSizeStore& store)
{
    auto thread = std::make_shared<TMyThread>(LongFormPath(folderText), std::move(queue), store);
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
                     TFolderSizeStore& store)
    : m_scanPath(std::move(scanPath)), m_queue(std::move(queue)), m_store(store)
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

void TMyThread::RunScan()
{
    m_mounts = platform::MountTable::read();
    m_store.Reset();
    LevelNodes[0] = m_store.FolderEntryCount();
    m_queue->Started(std::string_view(m_scanPath.constData(), size_t(m_scanPath.size())));
    WalkFolder(0, {});
    m_queue->Finished(Terminated());
}

void TMyThread::AddFolderNode(std::string_view name, int level)
{
    const std::int32_t entry = m_store.AddEntry();
    m_queue->FolderAdded(LevelNodes[size_t(level)], entry, name, level == 0);
    LevelNodes[size_t(level) + 1] = entry;
}

void TMyThread::WalkFolder(int level, std::string_view name)
{
    const auto d = size_t(level);
    LevelBytes[d] = 0;
    LevelFiles[d] = 0;
    platform::DirectorySearch& search = FindRecs[d];
    if (level == 0) {
        // The root is walked with a separator appended, but named without it. An
        // empty path names nothing: the scan then has a single empty root.
        std::string path(m_scanPath.constData(), size_t(m_scanPath.size()));
        if (!path.empty() && path.back() != '/')
            path += '/';
        search.openPath(path, &m_mounts, &m_terminated);
    } else {
        platform::DirectorySearch& parent = FindRecs[d - 1];
        if (search.open(parent.fd(), name, &m_mounts, &m_terminated) && level > kLevelsKeptOpen)
            parent.park();
    }

    for (size_t i = 0; i < search.count(); ++i) {
        if (Terminated())
            break;
        const platform::DirectorySearch::Entry& e = search.entry(i);
        if (e.isDirectory) {
            const std::string_view child = search.name(i);
            if (child == "." || child == "..")
                continue;
            AddFolderNode(child, level);
            if (level + 1 < MaxScanDepth) {
                WalkFolder(level + 1, child);
            } else if (!Terminated()) {
                // Too deep to descend into: the folder counts as empty.
                m_queue->FolderCompleted(LevelNodes[d + 1]);
            }
        } else {
            LevelBytes[d] += e.size;
            LevelFiles[d] += 1;
            m_store.CountFile(e.size);
        }
    }

    if (level > 0 && FindRecs[d - 1].isParked())
        FindRecs[d - 1].unpark(search.fd());
    search.close();

    if (!Terminated())
        PublishLevel(level);
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
