#pragma once
// Copies or moves one object into an open destination folder, with everything below it.
// Files are written under a temporary dot-name in the destination folder, checked, given
// their mode, owner and times, and only then renamed into place without replacing;
// a replacement happens only after the user said "Ersetzen" and only once the new file is
// complete. A move on one file system is a rename; across file systems each file is
// copied completely before its source is removed. Links are copied as links. Owned by the
// engine for one operation; all failures go to the operation's report.

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <sys/stat.h>

namespace fileops {

class OperationContext;

class TreeTransfer
{
public:
    enum class Mode
    {
        Copy,
        Move
    };
    enum class Result
    {
        Done,
        Skipped,
        Failed,
        Stopped
    };

    TreeTransfer(OperationContext& context, Mode mode);

    // Brings `srcName` (below the open folder `srcParent`, its status `st`, `srcPath` for
    // reports) into the open folder `dstParent` as `dstName` (`dstPath` for reports).
    Result transfer(int srcParent, const QByteArray& srcName, const QByteArray& srcPath,
                    const struct stat& st, int dstParent, const QByteArray& dstName,
                    const QByteArray& dstPath);

    // Removes the temporary files that processes which no longer run left in the open
    // folder `folderFd` (a move or copy that was killed).
    static void removeStalePartials(int folderFd);

    // A seam for tests: called on the working thread after each piece of file data
    // written, with the source file and the bytes of it written so far.
    using ChunkHook = std::function<void(const QByteArray& source, std::uint64_t written)>;
    static void setChunkHook(ChunkHook hook);

private:
    Result transferFolder(int srcParent, const QByteArray& srcName, const QByteArray& srcPath,
                          const struct stat& st, int dstParent, const QByteArray& dstName,
                          const QByteArray& dstPath);
    Result moveByRename(int srcParent, const QByteArray& srcName, const QByteArray& srcPath,
                        const struct stat& st, int dstParent, const QByteArray& dstName,
                        const QByteArray& dstPath, bool& notHere);
    Result copyObject(int srcParent, const QByteArray& srcName, const QByteArray& srcPath,
                      const struct stat& st, int dstParent, const QByteArray& dstName,
                      const QByteArray& dstPath);
    // Writes the object's copy under a fresh temporary name in `dstParent`; 0 or errno.
    int writeTemporary(int srcParent, const QByteArray& srcName, const QByteArray& srcPath,
                       const struct stat& st, int dstParent, QByteArray& tmpName);
    // A link or a special file under a fresh temporary name, made by `make`; 0 or errno.
    int makeSpecial(int dstParent, const struct stat& st, QByteArray& tmpName,
                    const std::function<int(const char* name)>& make);
    int copyFileData(int in, int out, const struct stat& st, const QByteArray& srcPath);
    // Asks about an existing target; Done means "replace".
    Result resolveConflict(const QByteArray& srcPath, const struct stat& st,
                           const QByteArray& dstPath, const struct stat& target);
    QString action() const;
    QString sourceKept() const;

    OperationContext& m_context;
    Mode m_mode;
    bool m_asRoot;
};

} // namespace fileops
