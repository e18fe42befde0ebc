#pragma once
// The questions an operation asks while it runs. The engine calls them on the thread it
// runs on; an OperationJob hands them to its host on the interface thread and waits for
// the answer there, so that dialogs (src/controls), the benchmark and the tests answer
// through the same interface. Hosts are owned by whoever starts the operation.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

namespace fileops {

struct ConflictQuestion
{
    QByteArray source; // what would be written
    QByteArray target; // what is already there and would be replaced
    bool sourceIsFolder = false;
    bool targetIsFolder = false;
    std::int64_t sourceSize = 0;
    std::int64_t targetSize = 0;
    QDateTime sourceModified;
    QDateTime targetModified;
};

// "Ersetzen", "Überspringen", "Abbrechen", each also "für alle" further conflicts.
struct ConflictAnswer
{
    enum Choice
    {
        Replace,
        Skip,
        Cancel
    };
    Choice choice = Cancel;
    bool forAll = false;
};

struct DeleteForGoodQuestion
{
    QByteArray path;
    QString reason; // why it cannot go to the trash, in German
};

// "Endgültig löschen", "Überspringen", "Abbrechen", each also "für alle".
struct DeleteForGoodAnswer
{
    enum Choice
    {
        Delete,
        Skip,
        Cancel
    };
    Choice choice = Cancel;
    bool forAll = false;
};

class OperationHost
{
public:
    virtual ~OperationHost() = default;
    // An object of the source's name is already at the destination.
    virtual ConflictAnswer askConflict(const ConflictQuestion& question) = 0;
    // The object cannot be moved to a trash; delete it for good instead?
    virtual DeleteForGoodAnswer askDeleteForGood(const DeleteForGoodQuestion& question) = 0;
};

} // namespace fileops
