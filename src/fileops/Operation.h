#pragma once
// One file operation as the interface asks for it: what to do, to which objects and where
// to. The caller builds it and hands it to an OperationJob (or, without a thread, to the
// OperationEngine); the engine only reads it.

#include "shell/ShellPaths.h"

#include <QByteArray>
#include <QString>

namespace fileops {

enum class OperationKind
{
    Trash,         // sources into the trash of their file system
    DeleteForGood, // sources removed, folders with everything below them
    Copy,          // sources into `destination`
    Move,          // sources into `destination`
    Link,          // symbolic links to the sources in `destination`
    Restore,       // trashed objects (paths in a trash's files folder) back to where they were
    EmptyTrash,    // everything in the given trash folders removed (no sources: all of the user's)
    Rename,        // the one source gets `newName` in its own folder
};

struct Operation
{
    OperationKind kind = OperationKind::Copy;
    shell::TFileNames sources; // absolute paths, raw bytes
    QByteArray destination;    // a folder; Copy, Move and Link only
    QByteArray newName;        // Rename only
};

// The German name of an operation kind, for titles ("Kopieren", "Verschieben", ...).
QString OperationTitle(OperationKind kind);
// The short English name ("copy", "move", "trash", ...), as the benchmark prints it.
const char* OperationKey(OperationKind kind);

} // namespace fileops
