#include "fileops/NameRules.h"

#include "shell/ShellPaths.h"

namespace fileops {

std::optional<QString> NameProblem(const QByteArray& name)
{
    if (name.isEmpty())
        return QStringLiteral("Der Name darf nicht leer sein.");
    if (name == "." || name == "..")
        return QStringLiteral("Die Namen „.“ und „..“ sind nicht erlaubt.");
    if (name.contains('/'))
        return QStringLiteral("Der Name darf keinen Schrägstrich („/“) enthalten.");
    if (name.contains('\0'))
        return QStringLiteral("Der Name darf kein Nullzeichen enthalten.");
    if (name.size() > kMaxNameBytes)
        return QStringLiteral("Der Name ist zu lang: Er hat %1 Bytes, erlaubt sind höchstens %2.")
            .arg(name.size())
            .arg(kMaxNameBytes);
    return std::nullopt;
}

QByteArray ShortenedName(const QByteArray& name, int maxBytes)
{
    if (name.size() <= maxBytes)
        return name;
    int end = maxBytes;
    // Step back over continuation bytes to the start of the cut sequence.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.left(end);
}

namespace {

// `name` with `suffix` before its extension, the stem shortened to fit 255 bytes.
QByteArray withSuffix(const QByteArray& name, bool isFolder, const QByteArray& suffix)
{
    const qsizetype dot = isFolder ? -1 : name.lastIndexOf('.');
    const bool hasExtension = dot > 0;
    const QByteArray stem = hasExtension ? name.left(dot) : name;
    const QByteArray extension = hasExtension ? name.mid(dot) : QByteArray();
    const int room = kMaxNameBytes - int(suffix.size() + extension.size());
    if (room <= 0) // an extension of almost 255 bytes: treat the whole name as the stem
        return ShortenedName(name, kMaxNameBytes - int(suffix.size())) + suffix;
    return ShortenedName(stem, room) + suffix + extension;
}

} // namespace

QByteArray CopyName(const QByteArray& name, bool isFolder, int n)
{
    QByteArray suffix = QByteArrayLiteral(" - Kopie");
    if (n > 1)
        suffix += " (" + QByteArray::number(n) + ')';
    return withSuffix(name, isFolder, suffix);
}

QByteArray LinkName(const QByteArray& name, bool isFolder)
{
    return withSuffix(name, isFolder, QByteArrayLiteral(" - Verknüpfung"));
}

QByteArray JoinPath(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray ParentOf(const QByteArray& path)
{
    const QByteArray p = shell::WithoutTrailingSlash(path);
    const qsizetype slash = p.lastIndexOf('/');
    if (slash < 0)
        return {};
    return slash == 0 ? QByteArrayLiteral("/") : p.left(slash);
}

QByteArray NameOf(const QByteArray& path)
{
    const QByteArray p = shell::WithoutTrailingSlash(path);
    return p.mid(p.lastIndexOf('/') + 1);
}

bool IsSameOrBelow(const QByteArray& path, const QByteArray& folder)
{
    const QByteArray p = shell::WithoutTrailingSlash(path);
    const QByteArray f = shell::WithoutTrailingSlash(folder);
    if (f == "/")
        return p.startsWith('/');
    return p == f || p.startsWith(f + '/');
}

} // namespace fileops
