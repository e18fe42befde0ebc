#pragma once
// A work item that measures one path: the bytes, files and folders of a file or of a
// folder tree, read on a pool worker. Links are never followed (a link is a file of
// its own size), pseudo file systems are not entered, and trees deeper than PATH_MAX
// are walked through folder handles. The selection list queues them on SelectionPool
// and reads the results in the completion; the results of a cancelled item are partial.

#include "threads/BasicWorkItem.h"

#include <QByteArray>
#include <cstdint>

namespace threads {

class TFolderSizeThread : public TBasicWorkItem
{
public:
    TFolderSizeThread(const QByteArray& path, bool recursive);

    void Execute() override;

    // +1 when the path is being added to a selection, -1 when it is taken away; the
    // item itself never reads it.
    std::int32_t Sign() const { return m_sign; }
    void SetSign(std::int32_t sign) { m_sign = sign; }
    // The measured path; a folder has its trailing "/" once Execute ran.
    const QByteArray& Path() const { return m_path; }
    bool Recursive() const { return m_recursive; }
    // Written by Execute only, read by the completion afterwards.
    std::uint64_t Bytes() const { return m_bytes; }
    std::int64_t Files() const { return m_files; }
    std::int64_t Folders() const { return m_folders; }

private:
    void Walk(int parentFd, const QByteArray& name);

    std::int32_t m_sign = 1;
    QByteArray m_path;
    std::uint64_t m_bytes = 0;
    std::int64_t m_files = 0;
    std::int64_t m_folders = 0;
    const bool m_recursive;
};

} // namespace threads
