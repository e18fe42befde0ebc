#pragma once
// What an operation did, handed to the interface when it ends. The job owns it until it
// has been delivered; the receiver keeps a copy. Lists are in the order the work was done.

#include "shell/ShellPaths.h"

#include <QList>
#include <QString>
#include <cstdint>

namespace fileops {

struct FailedItem
{
    QByteArray path; // the object that failed (a source, or an object below a source folder)
    QString reason;  // a German sentence
};

struct OperationReport
{
    enum class Outcome
    {
        Done,
        Failed,
        Cancelled
    };

    Outcome outcome = Outcome::Done;
    // Sources that were dealt with completely (trashed, deleted, copied, moved, linked,
    // restored, renamed), and at the same index the object that now stands for each:
    // the copy, the moved object, the link, the restored path, the entry in the trash.
    shell::TFileNames done;
    shell::TFileNames results;
    // At the same index again, the size of what left its place: a file's or a link's own
    // size, -1 for a folder (whose total the caller knows better, or not at all).
    QList<std::int64_t> sizes;
    // Sources left alone because the user chose "Überspringen" or declined a question.
    shell::TFileNames skipped;
    QList<FailedItem> failures;
    std::uint64_t items = 0; // files, links and folders handled, below the sources included
    std::uint64_t bytes = 0; // bytes of file contents copied

    bool succeeded() const { return outcome == Outcome::Done; }
};

} // namespace fileops
