#pragma once
// The file list that copy and cut put on the clipboard, and that paste and drops read.
// Written in the three forms the desktops read (text/uri-list, x-special/gnome-copied-files
// with "copy" or "cut", application/x-kde-cutselection) and read from whichever is there.
// Only file URLs of this machine name local files; other addresses and malformed lines
// are reported with a German sentence, never guessed at. Nothing here keeps state.

#include "shell/ShellPaths.h"

#include <QStringList>

class QMimeData;
class QUrl;

namespace fileops {

class ClipboardFiles
{
public:
    struct Contents
    {
        shell::TFileNames files;  // local files, raw bytes, in the order given
        bool cut = false;         // the files were cut: a paste moves them
        QStringList problems;     // one German sentence per line that names no local file
        bool hasFileList = false; // the data carried any file list at all
    };

    static void write(QMimeData& data, const shell::TFileNames& files, bool cut);
    static Contents read(const QMimeData* data);

    // The URI of a path, every byte outside the unreserved set percent-encoded.
    static QByteArray uriOf(const QByteArray& path);
    // A file URL whose host is empty, "localhost" or this machine's name.
    static bool isLocalFileUrl(const QUrl& url);
};

} // namespace fileops
