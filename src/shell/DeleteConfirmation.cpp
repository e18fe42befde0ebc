#include "shell/DeleteConfirmation.h"
#include "platform/HandOver.h"

#include "fileops/FolderListing.h"
#include "fileops/Operation.h"
#include "fileops/NameRules.h"
#include "fileops/TrashStore.h"
#include "fileops/TreeMeasure.h"
#include "platform/UniqueFd.h"
#include "shell/ShellFolderObject.h"

#include <QFile>
#include <QMetaObject>
#include <fcntl.h>
#include <sys/stat.h>

namespace shell {

namespace {

constexpr int kNamesShown = 5;

// The name the user knows an object by: a trashed object's original name.
QString shownName(const QByteArray& path)
{
    if (fileops::TrashStore::isFilesFolder(fileops::ParentOf(path))) {
        if (const auto entry = fileops::TrashStore::entryOf(path);
            entry && !entry->originalPath.isEmpty())
            return QFile::decodeName(fileops::NameOf(entry->originalPath));
    }
    return QFile::decodeName(fileops::NameOf(path));
}

QString quoted(const QString& text)
{
    return QStringLiteral("„%1“").arg(text);
}

QString bytesText(std::int64_t bytes)
{
    if (bytes < 1024)
        return ByteSizeText(quint64(bytes));
    return QStringLiteral("%1 (%2 Bytes)").arg(ByteSizeText(quint64(bytes))).arg(bytes);
}

} // namespace

TDeleteConfirmation::TDeleteConfirmation(Kind kind, TFileNames paths, KnownFolderSize known,
                                         QObject* parent)
    : QObject(parent), m_kind(kind), m_paths(std::move(paths)), m_known(std::move(known))
{
    m_sizes = QList<std::int64_t>(m_paths.size(), -1);
    m_folders = QList<bool>(m_paths.size(), false);
    for (qsizetype i = 0; i < m_paths.size() && i < kNamesShown; ++i)
        m_firstNames.append(shownName(m_paths[i]));
}

TDeleteConfirmation::~TDeleteConfirmation()
{
    m_stop.store(true, std::memory_order_relaxed);
    if (m_worker.joinable())
        m_worker.join();
}

void TDeleteConfirmation::runOnWorker(std::function<void()> work)
{
    if (m_worker.joinable())
        m_worker.join(); // it has handed over its result and is returning
    m_worker = std::thread(std::move(work));
}

void TDeleteConfirmation::Start()
{
    if (m_kind == Kind::EmptyTrash) {
        m_kindsKnown = true;
        runOnWorker([this] {
            int count = 0;
            std::int64_t bytes = 0;
            bool complete = true;
            for (const QByteArray& folder : fileops::TrashStore::trashFolders()) {
                const QByteArray files = folder + "/files";
                // The objects are the entries of files/; what is below them adds bytes.
                const platform::UniqueFd fd(
                    ::open(files.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                QList<QByteArray> names;
                int error = 0;
                if (!fd || !fileops::ListFolder(fd.get(), names, error)) {
                    complete = false;
                    continue;
                }
                const fileops::TreeTotals t = fileops::MeasureTree(files, &m_stop);
                if (m_stop.load(std::memory_order_relaxed))
                    return;
                count += int(names.size());
                bytes += t.bytes;
                complete = complete && t.complete;
            }
            platform::HandOver(
                this, [this, count, bytes, complete] { trashMeasured(count, bytes, complete); });
        });
        return;
    }
    runOnWorker([this, paths = m_paths] {
        QList<std::int64_t> sizes(paths.size(), -1);
        QList<bool> folders(paths.size(), false);
        QList<bool> gone(paths.size(), false);
        for (qsizetype i = 0; i < paths.size(); ++i) {
            if (m_stop.load(std::memory_order_relaxed))
                return;
            struct stat st;
            if (::lstat(WithoutTrailingSlash(paths[i]).constData(), &st) != 0) {
                gone[i] = true; // nothing of it will go
                continue;
            }
            folders[i] = S_ISDIR(st.st_mode);
            if (!folders[i])
                sizes[i] = std::int64_t(st.st_size);
        }
        platform::HandOver(this, [this, sizes = std::move(sizes), folders = std::move(folders),
                                  gone = std::move(gone)]() mutable {
            kindsMeasured(std::move(sizes), std::move(folders), std::move(gone));
        });
    });
}

void TDeleteConfirmation::kindsMeasured(QList<std::int64_t> sizes, QList<bool> folders,
                                        QList<bool> gone)
{
    m_sizes = std::move(sizes);
    m_folders = std::move(folders);
    m_gone = std::move(gone);
    m_folderCount = int(m_folders.count(true));
    m_kindsKnown = true;
    // Folders the caller knows are taken from there; the others are measured.
    QList<qsizetype> unknown;
    for (qsizetype i = 0; i < m_paths.size(); ++i) {
        if (!m_folders[i])
            continue;
        const std::optional<std::int64_t> known =
            m_known ? m_known(WithoutTrailingSlash(m_paths[i])) : std::nullopt;
        if (known)
            m_sizes[i] = *known;
        else
            unknown.append(i);
    }
    if (unknown.isEmpty()) {
        m_measured = true;
        emit changed();
        return;
    }
    emit changed();
    runOnWorker([this, unknown, sizes = m_sizes, paths = m_paths]() mutable {
        bool complete = true;
        for (const qsizetype i : unknown) {
            const fileops::TreeTotals t =
                fileops::MeasureTree(WithoutTrailingSlash(paths[i]), &m_stop);
            if (m_stop.load(std::memory_order_relaxed))
                return;
            sizes[i] = t.bytes;
            complete = complete && t.complete;
        }
        platform::HandOver(this, [this, sizes = std::move(sizes), complete]() mutable {
            foldersMeasured(std::move(sizes), complete);
        });
    });
}

void TDeleteConfirmation::foldersMeasured(QList<std::int64_t> sizes, bool complete)
{
    m_sizes = std::move(sizes);
    m_complete = complete;
    m_measured = true;
    emit changed();
}

void TDeleteConfirmation::trashMeasured(int count, std::int64_t bytes, bool complete)
{
    m_trashCount = count;
    m_trashBytes = bytes;
    m_complete = complete;
    m_measured = true;
    emit changed();
}

TFileNames TDeleteConfirmation::Present() const
{
    TFileNames present;
    for (qsizetype i = 0; i < m_paths.size(); ++i) {
        if (!m_gone.value(i))
            present.append(m_paths[i]);
    }
    return present;
}

std::int64_t TDeleteConfirmation::TotalBytes() const
{
    if (m_kind == Kind::EmptyTrash)
        return m_trashBytes;
    std::int64_t total = 0;
    for (const std::int64_t s : m_sizes)
        total += std::max<std::int64_t>(s, 0);
    return total;
}

QString TDeleteConfirmation::Title() const
{
    // The question bears the name of the operation it asks about.
    switch (m_kind) {
    case Kind::Trash:
        return fileops::OperationTitle(fileops::OperationKind::Trash);
    case Kind::ForGood:
        return fileops::OperationTitle(fileops::OperationKind::DeleteForGood);
    case Kind::EmptyTrash:
        return fileops::OperationTitle(fileops::OperationKind::EmptyTrash);
    }
    return {};
}

QString TDeleteConfirmation::AcceptText() const
{
    switch (m_kind) {
    case Kind::Trash:
        return QStringLiteral("In den Papierkorb");
    case Kind::ForGood:
        return QStringLiteral("Endgültig löschen");
    case Kind::EmptyTrash:
        return QStringLiteral("Papierkorb leeren");
    }
    return {};
}

QString TDeleteConfirmation::namesText() const
{
    QStringList names;
    for (const QString& name : m_firstNames)
        names << quoted(name);
    QString text = names.join(QStringLiteral(", "));
    if (m_paths.size() > m_firstNames.size())
        text += QStringLiteral(" und %1 weitere").arg(m_paths.size() - m_firstNames.size());
    return text;
}

QString TDeleteConfirmation::sizeText() const
{
    if (!m_measured)
        return QStringLiteral("Gesamtgröße: wird ermittelt …");
    // A folder that could not be read to the end holds at least what was counted.
    return (m_complete ? QStringLiteral("Gesamtgröße: ")
                       : QStringLiteral("Gesamtgröße: mindestens ")) +
           bytesText(TotalBytes());
}

QString TDeleteConfirmation::Text() const
{
    if (m_kind == Kind::EmptyTrash) {
        QString text = QStringLiteral("Soll der Papierkorb geleert werden?\n\n");
        if (m_measured)
            text += QStringLiteral("Alle %1 Objekte darin werden endgültig gelöscht.\n\n%2")
                        .arg(m_trashCount)
                        .arg(sizeText());
        else
            text +=
                QStringLiteral("Alle Objekte darin werden endgültig gelöscht.\n\n") + sizeText();
        return text + QStringLiteral("\n\nDas lässt sich nicht rückgängig machen.");
    }
    const bool forGood = m_kind == Kind::ForGood;
    QString text;
    if (m_paths.size() == 1) {
        text = (forGood ? QStringLiteral("Soll %1 endgültig gelöscht werden?")
                        : QStringLiteral("Soll %1 in den Papierkorb verschoben werden?"))
                   .arg(quoted(m_firstNames.value(0)));
    } else {
        text = (forGood ? QStringLiteral("Sollen diese %1 Objekte endgültig gelöscht werden?")
                        : QStringLiteral("Sollen diese %1 Objekte in den Papierkorb verschoben "
                                         "werden?"))
                   .arg(m_paths.size()) +
               QStringLiteral("\n\n") + namesText();
    }
    text += QStringLiteral("\n\n") + sizeText();
    if (m_folderCount == 1) {
        text += forGood
                    ? QStringLiteral("\n\nAchtung: Darunter ist ein Ordner. Er wird mit allem, "
                                     "was er enthält, gelöscht.")
                    : QStringLiteral("\n\nAchtung: Darunter ist ein Ordner. Er kommt mit allem, "
                                     "was er enthält, in den Papierkorb.");
    } else if (m_folderCount > 1) {
        text += (forGood ? QStringLiteral("\n\nAchtung: Darunter sind %1 Ordner. Sie werden mit "
                                          "allem, was sie enthalten, gelöscht.")
                         : QStringLiteral("\n\nAchtung: Darunter sind %1 Ordner. Sie kommen mit "
                                          "allem, was sie enthalten, in den Papierkorb."))
                    .arg(m_folderCount);
    }
    if (const qsizetype gone = m_gone.count(true); gone > 0) {
        QStringList names;
        for (qsizetype i = 0; i < m_paths.size() && names.size() < kNamesShown; ++i) {
            if (m_gone[i])
                names << quoted(QFile::decodeName(fileops::NameOf(m_paths[i])));
        }
        text += (gone == 1 ? QStringLiteral("\n\nNicht mehr da und übergangen: %1")
                           : QStringLiteral("\n\nNicht mehr da und übergangen (%2): %1"))
                    .arg(names.join(QStringLiteral(", ")))
                    .arg(gone);
        if (gone > names.size())
            text += QStringLiteral(" und %1 weitere").arg(gone - names.size());
    }
    if (forGood)
        text += QStringLiteral("\n\nDas lässt sich nicht rückgängig machen: Nichts davon kommt in "
                               "den Papierkorb.");
    return text;
}

} // namespace shell
