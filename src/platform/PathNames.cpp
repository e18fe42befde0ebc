#include "platform/PathNames.h"

#include <QFile>
#include <QString>
#include <QVarLengthArray>
#include <dirent.h>
#include <sys/stat.h>

namespace platform {

namespace {

// The name under which `folder` records `component`, or an empty text.
QByteArray recordedName(const QByteArray& folder, const QByteArray& component)
{
    if (component.isEmpty() || component == "." || component == "..")
        return component;
    const QByteArray dir = folder.isEmpty() ? QByteArray(".") : folder;
    QByteArray full = dir;
    if (!full.endsWith('/'))
        full += '/';
    struct stat st;
    if (::lstat((full + component).constData(), &st) == 0)
        return component;
    DIR* d = ::opendir(dir.constData());
    if (!d)
        return {};
    const QString wanted = QFile::decodeName(component);
    QByteArray match;
    int matches = 0;
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (QFile::decodeName(name).compare(wanted, Qt::CaseInsensitive) == 0) {
            match = name;
            ++matches;
        }
    }
    ::closedir(d);
    return matches == 1 ? match : QByteArray();
}

} // namespace

QByteArray LongFormPath(const QByteArray& path)
{
    const qsizetype firstSlash = path.indexOf('/');
    if (firstSlash < 0)
        return path;
    // Everything before the first "/" stays as typed ("" for an absolute path); each
    // later component is looked up in the folder recorded so far, left to right, so
    // that a wrong letter case in a parent does not hide the components below it.
    QByteArray result = path.left(firstSlash);
    bool parentFound = true;
    const QList<QByteArray> components = path.mid(firstSlash + 1).split('/');
    for (const QByteArray& component : components) {
        const QByteArray name =
            parentFound ? recordedName(result.isEmpty() ? "/" : result, component) : QByteArray();
        if (name.isEmpty() && !component.isEmpty())
            parentFound = false;
        result += '/';
        result += name;
    }
    return result;
}

} // namespace platform
