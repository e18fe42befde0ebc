#include "shell/ContextMenuHandler.h"

#include "fileops/ClipboardFiles.h"
#include "fileops/NameRules.h"
#include "fileops/Operation.h"
#include "fileops/OperationJob.h"
#include "fileops/TrashStore.h"
#include "shell/DeleteConfirmation.h"
#include "shell/ShellCommandHost.h"
#include "shell/ShellFolderObject.h"
#include "shell/ShellNavigator.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

namespace shell {

namespace {

constexpr int kLinesShown = 10;

QString quoted(const QByteArray& path)
{
    return QStringLiteral("„%1“").arg(QFile::decodeName(path));
}

// Up to ten lines, then how many more there are.
QString someLines(const QStringList& lines)
{
    QString text = lines.mid(0, kLinesShown).join(u'\n');
    if (lines.size() > kLinesShown)
        text += QStringLiteral("\n… und %1 weitere").arg(lines.size() - kLinesShown);
    return text;
}

QClipboard* clipboard()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? QGuiApplication::clipboard()
               : nullptr;
}

bool clipboardHoldsFiles()
{
    QClipboard* board = clipboard();
    return board && !fileops::ClipboardFiles::read(board->mimeData()).files.isEmpty();
}

} // namespace

struct TContextMenuHandler::Verb
{
    QString verb;
    QString caption;
    QString help;
    QKeySequence shortCut;
    int group = 0;     // items of different groups are set apart by a separator
    bool shown = true; // has an item in the menu
    bool isDefault = false;
    bool needsClipboard = false;
    bool needsRenameFlag = false;
};

TContextMenuHandler::TContextMenuHandler(std::unique_ptr<TShellUIObject> object,
                                         TShellCommandHost* host)
    : m_object(std::move(object)), m_host(host)
{
    m_paths = m_object->paths();
    addVerbs();
}

TContextMenuHandler::~TContextMenuHandler() = default;

void TContextMenuHandler::addVerbs()
{
    const QList<TIdList>& items = m_object->items();
    const std::optional<ShellLocation> first =
        items.isEmpty() ? std::nullopt : ResolveIDList(items.first());
    if (!first)
        return;
    auto add = [this](const char* verb, const QString& caption, const QString& help, int group,
                      QKeySequence shortCut = {}) -> Verb& {
        Verb v;
        v.verb = QString::fromLatin1(verb);
        v.caption = caption;
        v.help = help;
        v.group = group;
        v.shortCut = shortCut;
        m_verbs.append(v);
        return m_verbs.last();
    };
    add("open", QStringLiteral("Öffnen"),
        QStringLiteral("Öffnet das Objekt mit dem Programm, das der Desktop dafür vorsieht."), 0)
        .isDefault = true;
    const QString propertiesHelp =
        QStringLiteral("Zeigt Name, Typ, Ort, Größe, Daten und Rechte der gewählten Objekte.");
    const QKeySequence propertiesKey(Qt::ALT | Qt::Key_Return);
    if (first->kind == ShellLocation::Trash) {
        add("emptytrash", QStringLiteral("Papierkorb leeren"),
            QStringLiteral("Löscht alles im Papierkorb endgültig."), 2);
        return;
    }
    if (first->kind != ShellLocation::FileSystem)
        return;

    const ObjectFacts facts = KindOf(*first);
    const std::uint32_t attributes = AttributesOf(first, ~0u);
    const bool trashed =
        first->trashed || fileops::TrashStore::isFilesFolder(fileops::ParentOf(first->path));
    if (trashed) {
        add("undelete", QStringLiteral("Wiederherstellen"),
            QStringLiteral("Bringt die Objekte an den Ort zurück, an dem sie gelöscht wurden."), 0);
        add("copy", QStringLiteral("Kopieren"),
            QStringLiteral("Legt die Objekte in die Zwischenablage, um sie anderswo einzufügen."),
            1, QKeySequence::Copy);
        add("delete", QStringLiteral("Endgültig löschen"),
            QStringLiteral("Löscht die Objekte endgültig aus dem Papierkorb."), 2,
            QKeySequence(Qt::Key_Delete));
        add("properties", QStringLiteral("Eigenschaften"), propertiesHelp, 3, propertiesKey);
        return;
    }
    if (attributes & SFGAO_CANMOVE)
        add("cut", QStringLiteral("Ausschneiden"),
            QStringLiteral("Merkt die Objekte zum Verschieben vor: „Einfügen“ verschiebt sie "
                           "dann."),
            1, QKeySequence::Cut);
    if (attributes & SFGAO_CANCOPY)
        add("copy", QStringLiteral("Kopieren"),
            QStringLiteral("Legt die Objekte in die Zwischenablage, um sie anderswo einzufügen."),
            1, QKeySequence::Copy);
    if (facts.isFolder && !first->inTrash)
        add("paste", QStringLiteral("Einfügen"),
            QStringLiteral("Fügt die Dateien aus der Zwischenablage in diesen Ordner ein."), 1,
            QKeySequence::Paste)
            .needsClipboard = true;
    if (attributes & SFGAO_CANDELETE) {
        add("delete", QStringLiteral("Löschen"),
            QStringLiteral("Verschiebt die Objekte in den Papierkorb."), 2,
            QKeySequence(Qt::Key_Delete));
        add("deleteforgood", QStringLiteral("Endgültig löschen"),
            QStringLiteral("Löscht die Objekte endgültig, ohne Papierkorb."), 2,
            QKeySequence(Qt::SHIFT | Qt::Key_Delete))
            .shown = false;
    }
    if (attributes & SFGAO_CANRENAME)
        add("rename", QStringLiteral("Umbenennen"),
            QStringLiteral("Gibt dem Objekt einen neuen Namen."), 2, QKeySequence(Qt::Key_F2))
            .needsRenameFlag = true;
    add("properties", QStringLiteral("Eigenschaften"), propertiesHelp, 3, propertiesKey);
}

QStringList TContextMenuHandler::Verbs() const
{
    QStringList out;
    for (const Verb& v : m_verbs)
        out << v.verb;
    return out;
}

int TContextMenuHandler::QueryContextMenu(TShellMenu& menu, int indexMenu, int idCmdFirst,
                                          int idCmdLast, unsigned flags)
{
    m_inserted.clear();
    if (m_verbs.isEmpty() || idCmdFirst < 1 || idCmdLast < idCmdFirst)
        return -1;
    QList<TShellMenuItem> items;
    int lastGroup = -1;
    for (qsizetype i = 0; i < m_verbs.size(); ++i) {
        const Verb& v = m_verbs[i];
        if (!v.shown || (v.needsClipboard && !clipboardHoldsFiles()) ||
            (v.needsRenameFlag && !(flags & CMF_CANRENAME)))
            continue;
        if ((flags & CMF_DEFAULTONLY) && !v.isDefault)
            continue;
        if (idCmdFirst + int(m_inserted.size()) > idCmdLast)
            break;
        if (lastGroup >= 0 && v.group != lastGroup) {
            TShellMenuItem separator;
            separator.Separator = true;
            items.append(separator);
        }
        lastGroup = v.group;
        TShellMenuItem item;
        item.Command = idCmdFirst + int(m_inserted.size());
        item.Caption = v.caption;
        item.Verb = v.verb;
        item.ShortCut = v.shortCut;
        item.Default = v.isDefault;
        m_inserted.append(int(i));
        items.append(item);
    }
    if (m_inserted.isEmpty())
        return -1;
    // Set apart from the application's items around them.
    indexMenu = std::clamp<int>(indexMenu, 0, int(menu.Items.size()));
    TShellMenuItem separator;
    separator.Separator = true;
    if (indexMenu > 0 && !menu.Items[indexMenu - 1].Separator)
        items.prepend(separator);
    if (indexMenu < menu.Items.size() && !menu.Items[indexMenu].Separator)
        items.append(separator);
    for (qsizetype i = 0; i < items.size(); ++i)
        menu.Items.insert(indexMenu + i, items[i]);
    return int(m_inserted.size());
}

QString TContextMenuHandler::GetCommandString(int offset, unsigned type) const
{
    if (offset < 0 || offset >= m_inserted.size())
        return {};
    const Verb& v = m_verbs[m_inserted[offset]];
    switch (type) {
    case GCS_VERBA:
        return v.verb;
    case GCS_HELPTEXTW:
        return v.help;
    default:
        return {};
    }
}

const TContextMenuHandler::Verb* TContextMenuHandler::findVerb(const QString& verb) const
{
    for (const Verb& v : m_verbs) {
        if (v.verb.compare(verb, Qt::CaseInsensitive) == 0)
            return &v;
    }
    return nullptr;
}

bool TContextMenuHandler::InvokeCommand(int offset)
{
    if (offset < 0 || offset >= m_inserted.size())
        return false;
    return run(m_verbs[m_inserted[offset]]);
}

bool TContextMenuHandler::InvokeCommand(const QString& verb)
{
    const Verb* v = findVerb(verb);
    return v && run(*v);
}

bool TContextMenuHandler::run(const Verb& verb)
{
    m_lastReport.reset();
    const QString& v = verb.verb;
    if (v == u"open")
        return open();
    if (v == u"cut" || v == u"copy")
        return toClipboard(v == u"cut");
    if (v == u"paste")
        return paste();
    if (v == u"delete")
        return deleteObjects(findVerb(QStringLiteral("undelete")) != nullptr);
    if (v == u"deleteforgood")
        return deleteObjects(true);
    if (v == u"undelete")
        return restore();
    if (v == u"emptytrash")
        return emptyTrash();
    if (v == u"properties")
        return properties();
    return false; // "rename" has no dialog of the handler's own: the navigator's owner edits
}

void TContextMenuHandler::tell(const QString& title, const QString& text) const
{
    if (m_host)
        m_host->ShowMessage(title, text);
}

bool TContextMenuHandler::open()
{
    bool opened = false;
    for (const QByteArray& path : std::as_const(m_paths)) {
        if (path.isEmpty())
            continue; // a virtual folder has no file to open
        // By its bytes: a name that is not valid UTF-8 must reach the program unchanged.
        const QUrl url = QUrl::fromEncoded(fileops::ClipboardFiles::uriOf(path), QUrl::StrictMode);
        opened = (m_host ? m_host->Open(url) : QDesktopServices::openUrl(url)) || opened;
    }
    return opened;
}

bool TContextMenuHandler::toClipboard(bool cut)
{
    QClipboard* board = clipboard();
    if (!board || m_paths.isEmpty() || m_paths.contains(QByteArray()))
        return false;
    auto* data = new QMimeData;
    fileops::ClipboardFiles::write(*data, m_paths, cut);
    board->setMimeData(data);
    return true;
}

bool TContextMenuHandler::paste()
{
    const QString title = QStringLiteral("Einfügen");
    const QByteArray target = m_paths.value(0);
    QClipboard* board = clipboard();
    if (target.isEmpty() || !board)
        return false;
    const fileops::ClipboardFiles::Contents contents =
        fileops::ClipboardFiles::read(board->mimeData());
    // Nothing is pasted from a list that is not wholly understood.
    if (!contents.problems.isEmpty()) {
        tell(title, QStringLiteral("Die Zwischenablage enthält Einträge, die keine Dateien dieses "
                                   "Rechners sind:\n\n%1\n\nEs wurde nichts eingefügt.")
                        .arg(someLines(contents.problems)));
        return false;
    }
    if (contents.files.isEmpty()) {
        tell(title, QStringLiteral("In der Zwischenablage sind keine Dateien, die sich einfügen "
                                   "ließen."));
        return false;
    }
    QStringList missing;
    for (const QByteArray& file : contents.files) {
        if (!PathExists(file))
            missing << quoted(file);
    }
    if (!missing.isEmpty()) {
        tell(title, QStringLiteral("Diese Dateien aus der Zwischenablage gibt es nicht mehr:\n\n"
                                   "%1\n\nEs wurde nichts eingefügt.")
                        .arg(someLines(missing)));
        return false;
    }
    fileops::Operation op;
    op.kind = contents.cut ? fileops::OperationKind::Move : fileops::OperationKind::Copy;
    op.sources = contents.files;
    op.destination = target;
    const bool done = runOperation(std::move(op));
    // Cut files are pasted once: the clipboard keeps only those that did not move
    // (skipped, failed or left when the paste was cancelled), still as cut.
    if (contents.cut && done && clipboard()) {
        TFileNames left;
        for (const QByteArray& file : contents.files) {
            if (!m_lastReport->done.contains(WithoutTrailingSlash(file)))
                left.append(file);
        }
        if (left.isEmpty()) {
            clipboard()->clear();
        } else if (left.size() < contents.files.size()) {
            auto* data = new QMimeData;
            fileops::ClipboardFiles::write(*data, left, true);
            clipboard()->setMimeData(data);
        }
    }
    return done;
}

bool TContextMenuHandler::deleteObjects(bool forGood)
{
    if (!m_host || m_paths.isEmpty() || m_paths.contains(QByteArray()))
        return false;
    TDeleteConfirmation question(forGood ? TDeleteConfirmation::Kind::ForGood
                                         : TDeleteConfirmation::Kind::Trash,
                                 m_paths, m_host->KnownFolderSizes());
    question.Start();
    if (!m_host->Confirm(question))
        return false;
    fileops::Operation op;
    op.kind = forGood ? fileops::OperationKind::DeleteForGood : fileops::OperationKind::Trash;
    op.sources = question.Present();
    if (op.sources.isEmpty())
        return false;
    return runOperation(std::move(op));
}

bool TContextMenuHandler::emptyTrash()
{
    if (!m_host)
        return false;
    TDeleteConfirmation question(TDeleteConfirmation::Kind::EmptyTrash, {});
    question.Start();
    if (!m_host->Confirm(question))
        return false;
    fileops::Operation op;
    op.kind = fileops::OperationKind::EmptyTrash;
    return runOperation(std::move(op));
}

bool TContextMenuHandler::restore()
{
    if (m_paths.isEmpty() || m_paths.contains(QByteArray()))
        return false;
    fileops::Operation op;
    op.kind = fileops::OperationKind::Restore;
    op.sources = m_paths;
    return runOperation(std::move(op));
}

bool TContextMenuHandler::properties()
{
    TFileNames paths;
    for (const QByteArray& path : std::as_const(m_paths)) {
        if (!path.isEmpty())
            paths.append(path);
    }
    if (!m_host || paths.isEmpty())
        return false;
    m_host->ShowProperties(paths);
    return true;
}

bool TContextMenuHandler::runOperation(fileops::Operation operation)
{
    m_lastReport = RunOperation(std::move(operation), m_host);
    return !m_lastReport->done.isEmpty();
}

fileops::OperationReport RunOperation(fileops::Operation operation, TShellCommandHost* host,
                                      const QStringList& problems)
{
    const fileops::OperationKind kind = operation.kind;
    fileops::OperationJob job(std::move(operation), host ? host->Questions() : nullptr);
    std::unique_ptr<QObject> watch = host ? host->Watch(job) : nullptr;
    job.start();
    // The interface keeps running meanwhile; the job ends before anything goes.
    fileops::OperationReport report = job.waitForFinished();
    watch.reset();
    if ((!report.failures.isEmpty() || !problems.isEmpty()) && host) {
        QStringList lines = problems;
        for (const fileops::FailedItem& failure : report.failures)
            lines << quoted(failure.path) + QStringLiteral(": ") + failure.reason;
        host->ShowMessage(fileops::OperationTitle(kind),
                          (report.done.isEmpty()
                               ? QStringLiteral("Das ließ sich nicht ausführen:\n\n")
                               : QStringLiteral("Nicht alles ließ sich ausführen:\n\n")) +
                              someLines(lines));
    }
    return report;
}

} // namespace shell
