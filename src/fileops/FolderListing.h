#pragma once
// The names in an open folder, for the operations that must not miss one: unlike the
// scan's listing, a read error is an error here, since a copy that silently left out a
// file would report success for less than it was asked to copy.

#include <QByteArray>
#include <QList>

namespace fileops {

// All names in the folder `dirFd` ("." and ".." left out), or false with an errno value
// in `error`. The descriptor stays open and its position is left at the end.
bool ListFolder(int dirFd, QList<QByteArray>& names, int& error);

} // namespace fileops
