#include "fileops/TreeRemover.h"

#include "fileops/FailureText.h"
#include "fileops/FolderListing.h"
#include "fileops/NameRules.h"
#include "fileops/OperationContext.h"
#include "platform/UniqueFd.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileops {

namespace {

const QString kDelete = QStringLiteral("Löschen");

} // namespace

bool TreeRemover::removePath(const QByteArray& path)
{
    const QByteArray parent = ParentOf(path);
    const QByteArray name = NameOf(path);
    if (parent.isEmpty() || name.isEmpty()) {
        m_context.fail(path, FailureText(kDelete, EINVAL));
        return false;
    }
    platform::UniqueFd parentFd(::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd) {
        m_context.fail(path, FailureText(kDelete, errno));
        return false;
    }
    return remove(parentFd.get(), name, path);
}

bool TreeRemover::remove(int parentFd, const QByteArray& name, const QByteArray& path)
{
    struct stat parent;
    if (::fstat(parentFd, &parent) != 0) {
        m_context.fail(path, FailureText(kDelete, errno));
        return false;
    }
    return removeEntry(parentFd, parent.st_dev, name, path);
}

bool TreeRemover::removeEntry(int parentFd, dev_t parentDevice, const QByteArray& name,
                              const QByteArray& path)
{
    if (m_context.stopped())
        return false;
    struct stat st;
    if (::fstatat(parentFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        m_context.fail(path, FailureText(kDelete, errno));
        return false;
    }
    m_context.progress().setCurrent(path);
    if (S_ISDIR(st.st_mode) && st.st_dev != parentDevice) {
        // Another file system is mounted here; its contents are not part of this folder.
        m_context.fail(path, QStringLiteral("Löschen nicht möglich: Hier ist ein anderes "
                                            "Dateisystem eingehängt; es bleibt unverändert."));
        return false;
    }
    if (S_ISDIR(st.st_mode))
        return removeFolder(parentFd, name, path, st.st_dev);
    if (::unlinkat(parentFd, name.constData(), 0) != 0) {
        m_context.fail(path, FailureText(kDelete, errno));
        return false;
    }
    m_context.countItem();
    return true;
}

bool TreeRemover::removeFolder(int parentFd, const QByteArray& name, const QByteArray& path,
                               dev_t device)
{
    platform::UniqueFd dirFd(
        ::openat(parentFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dirFd) {
        m_context.fail(path, FailureText(kDelete, errno));
        return false;
    }
    QList<QByteArray> names;
    int error = 0;
    if (!ListFolder(dirFd.get(), names, error)) {
        m_context.fail(path, FailureText(kDelete, error));
        return false;
    }
    bool all = true;
    for (const QByteArray& child : names) {
        if (m_context.stopped())
            return false;
        all = removeEntry(dirFd.get(), device, child, JoinPath(path, child)) && all;
    }
    if (!all)
        return false; // the failures below already say why the folder stays
    dirFd.reset();
    if (::unlinkat(parentFd, name.constData(), AT_REMOVEDIR) != 0) {
        m_context.fail(path, FailureText(kDelete, errno));
        return false;
    }
    m_context.countItem();
    return true;
}

} // namespace fileops
