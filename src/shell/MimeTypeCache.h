#pragma once
// The MIME type of a file by its name, as the type column and the icons need it. A glob
// lookup costs a great deal for names that the fast suffix table of the MIME database
// does not cover, so results are kept by the name's ending: for every name that no
// whole-name or irregular glob ("Makefile", "README*", "*~") can match, the type
// depends only on what follows its first dot. Shared by all threads.

#include <QByteArrayView>
#include <QMimeType>

namespace shell {

// The type that the name alone suggests (the database's extension match).
QMimeType MimeTypeOfName(QByteArrayView name);

} // namespace shell
