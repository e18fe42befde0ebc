#pragma once
// The question asked before objects are deleted: moved to the trash, deleted for good, or
// the trash emptied. It names exactly what will go: how many objects, the first names,
// their total size (files by their sizes, folders by the totals the caller already knows,
// such as the last scan's, else measured on a worker thread) and whether folders are
// among them. The text is complete once measuring ends; until then it says what is still
// being measured, and `changed` tells the dialog showing it. The verb that deletes owns it
// for the time of its question; it holds no widget.

#include "shell/ShellPaths.h"

#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>

namespace shell {

class TDeleteConfirmation : public QObject
{
    Q_OBJECT

public:
    enum class Kind
    {
        Trash,      // into the trash
        ForGood,    // removed, not into the trash
        EmptyTrash, // everything in the trash removed
    };
    // The byte total of a folder when it is already known; nothing otherwise.
    using KnownFolderSize = std::function<std::optional<std::int64_t>(const QByteArray& folder)>;

    // `paths` are the objects (absolute, raw bytes); none for EmptyTrash.
    TDeleteConfirmation(Kind kind, TFileNames paths, KnownFolderSize known = {},
                        QObject* parent = nullptr);
    ~TDeleteConfirmation() override;

    // Begins measuring on a worker thread; `changed` follows each step.
    void Start();

    Kind GetKind() const { return m_kind; }
    const TFileNames& Paths() const { return m_paths; }
    // Which objects are folders is known (the first, quick step is done).
    bool KindsKnown() const { return m_kindsKnown; }
    // Every size is known.
    bool Measured() const { return m_measured; }
    int FolderCount() const { return m_folderCount; }
    // The sum of what is known so far.
    std::int64_t TotalBytes() const;
    // For each path, in order: a file's or link's size, a folder's total, -1 while unknown
    // or when the object is gone.
    const QList<std::int64_t>& Sizes() const { return m_sizes; }
    // EmptyTrash: the objects in the trash, once measured.
    int TrashCount() const { return m_trashCount; }
    // The objects that are still there, once the kinds are known (all of them before):
    // one gone since it was chosen is named in the text and left out.
    TFileNames Present() const;

    QString Title() const;
    QString Text() const;
    // The caption of the button that agrees; the other one says "Abbrechen".
    QString AcceptText() const;
    // Whether agreeing is the button that Enter presses.
    bool AcceptIsDefault() const { return m_kind == Kind::Trash; }

signals:
    void changed();

private:
    void kindsMeasured(QList<std::int64_t> sizes, QList<bool> folders, QList<bool> gone);
    void foldersMeasured(QList<std::int64_t> sizes, bool complete);
    void trashMeasured(int count, std::int64_t bytes, bool complete);
    void runOnWorker(std::function<void()> work);
    QString namesText() const;
    QString sizeText() const;

    Kind m_kind;
    TFileNames m_paths;
    QStringList m_firstNames; // shown names of the first objects
    KnownFolderSize m_known;
    QList<std::int64_t> m_sizes;
    QList<bool> m_folders;
    QList<bool> m_gone;
    int m_folderCount = 0;
    int m_trashCount = 0;
    std::int64_t m_trashBytes = 0;
    bool m_kindsKnown = false;
    bool m_measured = false;
    bool m_complete = true; // every folder could be read to the end
    std::atomic_bool m_stop{false};
    std::thread m_worker;
};

} // namespace shell
