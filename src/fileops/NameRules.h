#pragma once
// Rules for the names that file operations give to objects: which names a folder can hold
// (with the German sentence that says why not), the names of copies pasted next to their
// source, and joining raw-byte paths. Nothing here touches the disk.

#include <QByteArray>
#include <QString>
#include <optional>

namespace fileops {

// The longest name a folder entry can have, in bytes.
constexpr int kMaxNameBytes = 255;

// Why `name` cannot name an object in a folder, or nothing when it can: empty, "." or
// "..", a "/" or a NUL byte, longer than 255 bytes.
std::optional<QString> NameProblem(const QByteArray& name);

// The name of the `n`th copy of `name` in the folder of the original: "NAME - Kopie.EXT",
// then "NAME - Kopie (2).EXT", ... A folder's name keeps its dots; a name that begins
// with its only dot has no extension. The stem is shortened (never inside a UTF-8
// sequence) so that the result fits 255 bytes.
QByteArray CopyName(const QByteArray& name, bool isFolder, int n);
// The name a link takes where the source's own name is taken: "NAME - Verknüpfung.EXT",
// fitted into 255 bytes as CopyName does.
QByteArray LinkName(const QByteArray& name, bool isFolder);

// Shortens `name` to at most `maxBytes` bytes without cutting a UTF-8 sequence in two.
QByteArray ShortenedName(const QByteArray& name, int maxBytes);

// `folder` + "/" + `name`, without doubling a trailing "/".
QByteArray JoinPath(const QByteArray& folder, const QByteArray& name);
// The folder part ("/" for an object in the root) and the name of an absolute path; a
// trailing "/" is ignored.
QByteArray ParentOf(const QByteArray& path);
QByteArray NameOf(const QByteArray& path);
// Whether `path` is `folder` or lies below it, by the texts alone.
bool IsSameOrBelow(const QByteArray& path, const QByteArray& folder);

} // namespace fileops
