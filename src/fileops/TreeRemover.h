#pragma once
// Deletes objects for good: a file or a link by unlinking it (a link never takes its
// target along), a folder with everything below it, walked with folder handles so that
// deep trees work. It stays on the object's file system: a file system mounted below is
// reported and left alone. Used by the engine for "delete for good", the trash (empty,
// delete from the trash) and the end of a move across file systems.

#include <QByteArray>
#include <sys/types.h>

namespace fileops {

class OperationContext;

class TreeRemover
{
public:
    explicit TreeRemover(OperationContext& context) : m_context(context) {}

    // Removes `name` below the open folder `parentFd`; `path` names it in reports.
    // True when it is gone; failures go to the report, and a cancel stops at the next
    // object, leaving what is not yet removed.
    bool remove(int parentFd, const QByteArray& name, const QByteArray& path);
    // The same for an absolute path.
    bool removePath(const QByteArray& path);

private:
    bool removeEntry(int parentFd, dev_t parentDevice, const QByteArray& name,
                     const QByteArray& path);
    bool removeFolder(int parentFd, const QByteArray& name, const QByteArray& path, dev_t device);

    OperationContext& m_context;
};

} // namespace fileops
