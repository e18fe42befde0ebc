#pragma once
// Folders for the operations: the names in an open folder, where unlike the scan's
// listing a read error is an error (a copy that silently left out a file would report
// success for less than it was asked to copy), and making a folder with its parents.

#include <QByteArray>
#include <QList>
#include <sys/types.h>

namespace fileops {

// All names in the folder `dirFd` ("." and ".." left out), or false with an errno value
// in `error`. The descriptor stays open and its position is left at the end.
bool ListFolder(int dirFd, QList<QByteArray>& names, int& error);

// Makes the folder of an absolute path and its missing parents with `mode` (less the
// umask); 0 when it is there as a folder, else an errno value.
int MakeFolders(const QByteArray& path, mode_t mode);

} // namespace fileops
