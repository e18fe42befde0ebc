#pragma once
// Small path tests and conversions of the namespace layer. Paths are raw bytes as the
// kernel takes them; "/" is the only separator. A "drive" is a mounted file system shown
// in the drives folder, and a path's drive part is the mount point of the drive with the
// longest prefix of the path. Nothing here keeps state.

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

class QFont;
class QMimeData;
class QUrl;

namespace shell {

// A list of full paths (raw bytes) that travel together: several objects of one
// command, dropped or pasted files, selections.
class TFileNames : public QList<QByteArray>
{
public:
    using QList<QByteArray>::QList;
};

// Mount points of the drives folder, "/" first, then the others in mount order: file
// systems that hold user data (block devices, network and user FUSE file systems).
QList<QByteArray> DriveMountPoints();
// Whether a mount of this type, source and point belongs in the drives folder.
bool IsUserDataMount(const QByteArray& fileSystem, const QByteArray& source,
                     const QByteArray& mountPoint);
// The drive part of an absolute path; empty for a relative or empty path.
QByteArray DrivePart(const QByteArray& path);
QByteArray DrivePart(const QByteArray& path, const QList<QByteArray>& mountPoints);

bool IsDriveRoot(const QByteArray& path);
// Whether the file system of the path's drive answers.
bool IsDriveReady(const QByteArray& path);
// "//server/share...": longer than 3 bytes, two slashes, and a "/" after the server.
bool IsUNCPath(const QByteArray& path);
QByteArray UNCServerName(const QByteArray& path);
// Whether `path` lies below the folder `folder` (not the folder itself); exact bytes.
bool IsPathBelow(const QByteArray& path, const QByteArray& folder);
// Equal after one trailing "/" is removed from each; exact, as file names are.
bool SamePath(const QByteArray& a, const QByteArray& b);
// Whether the object exists; a dangling link exists as itself.
bool PathExists(const QByteArray& path);
// The size of a file (a link: its own size); 0 for a folder; -1 when there is none.
std::int64_t FileSizeOf(const QByteArray& path);
bool IsDotEntry(const QByteArray& name);
// Wildcard match ("*", "?", several patterns joined by ";"), blind to case. "*.*"
// matches only names that contain a dot.
bool MatchSpec(const QString& name, const QString& patterns);
bool MatchSpec(const QByteArray& name, const QString& patterns);
QByteArray TempFolder();
// Removes one trailing "/" except from "/" itself.
QByteArray WithoutTrailingSlash(const QByteArray& path);
QByteArray WithTrailingSlash(const QByteArray& path);

// The target of a symbolic link as an absolute path; empty when `linkFile` is none.
QByteArray LinkTarget(const QByteArray& linkFile);

// Whether a URL names a file of this machine: a file URL whose host is empty,
// "localhost" or this machine's name.
bool IsLocalFileUrl(const QUrl& url);
// The local files among dropped or pasted URLs, in order, as raw paths. Nothing for an
// empty list.
std::optional<TFileNames> FileNamesFromUrls(const QList<QUrl>& urls);
// The file list of dropped or pasted data; nothing when there is no data, an empty
// list when it holds no files.
std::optional<TFileNames> FileNamesFromMimeData(const QMimeData* data);

// The font of icon captions: the system's general font; unchanged without a GUI.
void IconTitleFont(QFont& font);

// The German text of an error number (errno).
QString SystemErrorText(int error);

} // namespace shell
