#include "shell/ShellPaths.h"

#include "platform/MountTable.h"
#include "platform/PathAt.h"
#include "platform/VolumeSpace.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMimeData>
#include <QSysInfo>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {

namespace {

bool startsWithComponent(const QByteArray& path, const QByteArray& prefix)
{
    if (prefix == "/")
        return path.startsWith('/');
    return path.startsWith(prefix) && (path.size() == prefix.size() || path[prefix.size()] == '/');
}

QChar folded(QChar c)
{
    return c.toCaseFolded();
}

// One pattern against a name, "*" and "?" as wildcards. Greedy with one back-track
// point, so that long names and many stars stay linear.
bool matchOne(const QString& name, const QString& pattern)
{
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || folded(pattern[p]) == folded(name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool IsUserDataMount(const QByteArray& fileSystem, const QByteArray& source,
                     const QByteArray& mountPoint)
{
    if (mountPoint == "/")
        return true;
    if (platform::MountTable::isPseudoFileSystem(fileSystem))
        return false;
    // System areas and the images of packaged programs are no user's drives.
    static const char* const kSystemAreas[] = {"/proc", "/sys",  "/dev",     "/run",
                                               "/boot", "/snap", "/var/lib", "/etc"};
    if (mountPoint.startsWith("/run/media/"))
        return true;
    for (const char* area : kSystemAreas) {
        if (startsWithComponent(mountPoint, area))
            return false;
    }
    if (fileSystem == "squashfs" || fileSystem == "tmpfs" || fileSystem == "overlay" ||
        fileSystem == "ramfs")
        return false;
    static const char* const kNetwork[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "afs"};
    for (const char* net : kNetwork) {
        if (fileSystem == net)
            return true;
    }
    if (fileSystem.startsWith("fuse."))
        return fileSystem != "fuse.gvfsd-fuse" && fileSystem != "fuse.portal";
    return source.startsWith("/dev/");
}

QList<QByteArray> DriveMountPoints()
{
    QList<QByteArray> out{QByteArrayLiteral("/")};
    const platform::MountTable table = platform::MountTable::read();
    for (const platform::MountTable::Mount& m : table.mounts()) {
        if (out.contains(m.mountPoint) || !IsUserDataMount(m.fileSystem, m.source, m.mountPoint))
            continue;
        // Bind mounts of single files (common in containers) are no drives.
        struct stat st;
        if (::stat(m.mountPoint.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        out.append(m.mountPoint);
    }
    return out;
}

QByteArray DrivePart(const QByteArray& path, const QList<QByteArray>& mountPoints)
{
    QByteArray best;
    for (const QByteArray& mp : mountPoints) {
        if (mp.size() > best.size() && startsWithComponent(path, mp))
            best = mp;
    }
    return best;
}

QByteArray DrivePart(const QByteArray& path)
{
    if (!path.startsWith('/'))
        return {};
    return DrivePart(path, DriveMountPoints());
}

bool IsDriveRoot(const QByteArray& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray p = WithoutTrailingSlash(path);
    return p == DrivePart(p);
}

bool IsDriveReady(const QByteArray& path)
{
    const QByteArray drive = DrivePart(path);
    return !drive.isEmpty() && platform::freeBytes(drive).has_value();
}

bool IsPathBelow(const QByteArray& path, const QByteArray& folder)
{
    return path.size() > folder.size() && startsWithComponent(path, folder);
}

bool IsUNCPath(const QByteArray& path)
{
    return path.size() > 3 && path.startsWith("//") && path.indexOf('/', 2) >= 0;
}

QByteArray UNCServerName(const QByteArray& path)
{
    if (!IsUNCPath(path))
        return {};
    return path.mid(2, path.indexOf('/', 2) - 2);
}

QByteArray WithoutTrailingSlash(const QByteArray& path)
{
    if (path.size() > 1 && path.endsWith('/'))
        return path.left(path.size() - 1);
    return path;
}

QByteArray WithTrailingSlash(const QByteArray& path)
{
    if (path.isEmpty() || path.endsWith('/'))
        return path;
    return path + '/';
}

bool SamePath(const QByteArray& a, const QByteArray& b)
{
    return WithoutTrailingSlash(a) == WithoutTrailingSlash(b);
}

bool PathExists(const QByteArray& path)
{
    if (path.isEmpty() || path.contains('\0'))
        return false;
    struct stat st;
    const platform::PathAt at(WithoutTrailingSlash(path).toStdString());
    return ::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::int64_t FileSizeOf(const QByteArray& path)
{
    if (path.isEmpty() || path.contains('\0'))
        return -1;
    struct stat st;
    const platform::PathAt at(path.toStdString());
    if (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    return S_ISDIR(st.st_mode) ? 0 : std::int64_t(st.st_size);
}

bool IsDotEntry(const QByteArray& name)
{
    return name == "." || name == "..";
}

bool MatchSpec(const QString& name, const QString& patterns)
{
    if (patterns == u"*.*")
        return name.contains(u'.');
    for (const QString& pattern : patterns.split(u';')) {
        if (!pattern.isEmpty() && matchOne(name, pattern.trimmed()))
            return true;
    }
    return false;
}

bool MatchSpec(const QByteArray& name, const QString& patterns)
{
    return MatchSpec(QFile::decodeName(name), patterns);
}

QByteArray TempFolder()
{
    return QFile::encodeName(QDir::tempPath());
}

QByteArray LinkTarget(const QByteArray& linkFile)
{
    if (linkFile.isEmpty() || linkFile.contains('\0'))
        return {};
    const QByteArray link = WithoutTrailingSlash(linkFile);
    QByteArray buffer(4096, '\0');
    const platform::PathAt at(link.toStdString());
    const ssize_t n = ::readlinkat(at.dir(), at.name(), buffer.data(), size_t(buffer.size()));
    if (n <= 0 || n >= buffer.size())
        return {};
    buffer.truncate(n);
    if (buffer.startsWith('/'))
        return buffer;
    const qsizetype slash = link.lastIndexOf('/');
    if (slash < 0)
        return buffer;
    return link.left(slash + 1) + buffer;
}

bool IsLocalFileUrl(const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    // file://otherhost/etc/hostname names a file of another machine, not our own
    // /etc/hostname.
    const QString host = url.host();
    return host.isEmpty() || host.compare(u"localhost", Qt::CaseInsensitive) == 0 ||
           host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
}

std::optional<TFileNames> FileNamesFromUrls(const QList<QUrl>& urls)
{
    TFileNames names;
    for (const QUrl& url : urls) {
        if (!IsLocalFileUrl(url))
            continue;
        // The encoded path keeps names that are not valid UTF-8 byte for byte.
        names.append(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    }
    if (names.isEmpty())
        return std::nullopt;
    return names;
}

std::optional<TFileNames> FileNamesFromMimeData(const QMimeData* data)
{
    if (!data)
        return std::nullopt;
    return FileNamesFromUrls(data->urls()).value_or(TFileNames());
}

void IconTitleFont(QFont& font)
{
    // The font database needs the GUI application; without one the font stays as it is.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

QString SystemErrorText(int error)
{
    // Every error that opening, reading, writing, renaming, removing, making folders,
    // syncing or trashing can meet has a sentence of its own; strerror's text would be in
    // the process locale, usually English.
    switch (error) {
    case 0:
        return QStringLiteral("Der Vorgang wurde erfolgreich beendet.");
    case ENOENT:
        return QStringLiteral("Das System kann den angegebenen Pfad nicht finden.");
    case EACCES:
    case EPERM:
        return QStringLiteral("Zugriff verweigert.");
    case EEXIST:
        return QStringLiteral("Eine Datei mit diesem Namen ist bereits vorhanden.");
    case ENOTDIR:
        return QStringLiteral("Der Pfad ist kein Ordner.");
    case EISDIR:
        return QStringLiteral("Das Objekt ist ein Ordner.");
    case ENOTEMPTY:
        return QStringLiteral("Der Ordner ist nicht leer.");
    case EINVAL:
        return QStringLiteral("Der Name oder der Vorgang ist für dieses Dateisystem ungültig.");
    case ENAMETOOLONG:
        return QStringLiteral("Der Name oder der Pfad ist zu lang.");
    case ELOOP:
        return QStringLiteral("Der Pfad enthält zu viele symbolische Verknüpfungen oder eine "
                              "Schleife aus Verknüpfungen.");
    case EXDEV:
        return QStringLiteral("Das Objekt kann nicht auf ein anderes Laufwerk verschoben werden.");
    case EROFS:
        return QStringLiteral("Das Laufwerk ist schreibgeschützt.");
    case ENOSPC:
        return QStringLiteral("Auf dem Datenträger ist nicht genügend Speicherplatz.");
    case EDQUOT:
        return QStringLiteral("Das Speicherkontingent auf dem Datenträger ist erschöpft.");
    case EFBIG:
        return QStringLiteral("Die Datei ist zu groß für das Dateisystem des Ziels.");
    case EMLINK:
        return QStringLiteral("Das Objekt hat schon so viele Verweise oder Unterordner, wie das "
                              "Dateisystem erlaubt.");
    case EBUSY:
        return QStringLiteral("Das Objekt wird gerade verwendet.");
    case ETXTBSY:
        return QStringLiteral("Die Datei wird gerade als Programm ausgeführt.");
    case EIO:
        return QStringLiteral("Das Gerät meldet einen Ein-/Ausgabefehler.");
    case EUCLEAN:
        return QStringLiteral("Das Dateisystem ist beschädigt und muss geprüft werden.");
    case ENOMEDIUM:
        return QStringLiteral("Im Laufwerk ist kein Datenträger.");
    case ENODEV:
    case ENXIO:
        return QStringLiteral("Das Gerät ist nicht vorhanden.");
    case EMFILE:
        return QStringLiteral("Das Programm hat zu viele Dateien zugleich geöffnet.");
    case ENFILE:
        return QStringLiteral("Im System sind zu viele Dateien zugleich geöffnet.");
    case ENOMEM:
        return QStringLiteral("Es ist nicht genügend Arbeitsspeicher frei.");
    case ESTALE:
        return QStringLiteral("Die Datei auf dem Netzlaufwerk ist nicht mehr gültig.");
    case ETIMEDOUT:
        return QStringLiteral("Das Gerät oder der Server antwortet nicht rechtzeitig.");
    case ENOTCONN:
    case ECONNRESET:
    case ECONNABORTED:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENOLINK:
    case EREMOTEIO:
        return QStringLiteral("Die Verbindung zum Server ist unterbrochen.");
    case EINTR:
        return QStringLiteral("Der Vorgang wurde vom System unterbrochen.");
    case EAGAIN:
        return QStringLiteral("Das Objekt ist vorübergehend nicht verfügbar.");
    case ECANCELED:
        return QStringLiteral("Der Vorgang wurde abgebrochen.");
    case EBADF:
        return QStringLiteral("Die Datei ist nicht mehr geöffnet.");
    case EOPNOTSUPP:
        return QStringLiteral("Das Dateisystem unterstützt diesen Vorgang nicht.");
    case ENOSYS:
        return QStringLiteral("Das System unterstützt diesen Vorgang nicht.");
    case EOVERFLOW:
        return QStringLiteral("Das Objekt ist zu groß, oder es hat sich beim Lesen verändert.");
    case ENOLCK:
        return QStringLiteral("Die Datei lässt sich nicht sperren.");
    case EPIPE:
        return QStringLiteral("Die Gegenstelle hat die Verbindung geschlossen.");
    default: {
        // The constant's name, never a text in some language, tells a helper what it was.
        const char* name = ::strerrorname_np(error);
        return name ? QStringLiteral("Das System meldet den Fehler %1 (Nummer %2).")
                          .arg(QLatin1String(name))
                          .arg(error)
                    : QStringLiteral("Das System meldet einen unbekannten Fehler (Nummer %1).")
                          .arg(error);
    }
    }
}

} // namespace shell
