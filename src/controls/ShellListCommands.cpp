// The contents list's commands: verbs on the selection and on the shown folder, the
// context menu, what an operation reports, and renaming in place.

#include "controls/ShellList.h"

#include "controls/ContextMenuPopup.h"
#include "controls/ShellCommandDialogs.h"
#include "fileops/ClipboardFiles.h"
#include "fileops/NameRules.h"
#include "shell/ShellLink.h"
#include "shell/ShellNavigator.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QSet>

using namespace shell;

struct TShellList::TCommandState
{
    explicit TCommandState(TShellList& list) : dialogs(&list), popup(&list), host(&dialogs) {}

    TShellCommandDialogs dialogs;
    TContextMenuPopup popup;
    TShellCommandHost* host;
    QPointer<QMenu> popupMenu;
    bool running = false;
    // What the last reported operation knew of the sizes of the objects that left, in
    // its order; indexed by path when first asked, as an operation on a hundred thousand
    // files reports them all.
    void setSizes(TFileNames paths, QList<std::int64_t> sizes)
    {
        sizedPaths = std::move(paths);
        knownSizes = std::move(sizes);
        sizeIndex.clear();
    }
    void rememberSizes(const fileops::OperationReport* report)
    {
        if (report)
            setSizes(report->done, report->sizes);
        else
            setSizes({}, {});
        reportedResults = report ? report->results : TFileNames();
    }
    std::int64_t size(const QByteArray& path)
    {
        if (sizeIndex.isEmpty() && !sizedPaths.isEmpty()) {
            sizeIndex.reserve(sizedPaths.size());
            for (qsizetype i = 0; i < sizedPaths.size(); ++i)
                sizeIndex.insert(WithoutTrailingSlash(sizedPaths[i]), knownSizes.value(i, -1));
        }
        return sizeIndex.value(WithoutTrailingSlash(path), -1);
    }
    TFileNames sizedPaths;
    QList<std::int64_t> knownSizes;
    QHash<QByteArray, std::int64_t> sizeIndex;
    // What stands for the objects of the last reported operation now.
    TFileNames reportedResults;
};

void TShellList::TCommandStateDeleter::operator()(TCommandState* state) const
{
    delete state;
}

namespace {

bool isVerb(const QString& verb, const char* name)
{
    return verb.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

bool isDeleteVerb(const QString& verb)
{
    return isVerb(verb, "delete") || isVerb(verb, "deleteforgood");
}

TFileNames clipboardNames()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {};
    return fileops::ClipboardFiles::read(QGuiApplication::clipboard()->mimeData()).files;
}

// The path of an item: the name of an entry after the shown folder's path (`folder`, with
// its "/"), which costs nothing; other objects (drives, the trash's) from their lists.
QByteArray pathOf(TShellList& list, int index, const QByteArray& folder)
{
    const TShellListItem& data = list.Item(index).Data;
    if (!data.FullPath.isEmpty() || folder.isEmpty() || IDListCount(data.ItemID) != 1)
        return list.ItemPath(index);
    const QByteArrayView name = EntryNameOf(data.ItemID.itemData(0));
    return name.isEmpty() ? list.ItemPath(index) : folder + name.toByteArray();
}

// A paste moved the files when the first of them is no longer where it was.
TShellOperations pasteOperation(const TFileNames& names)
{
    const bool moved = !names.isEmpty() && !PathExists(names.first());
    return soFromClipboard | soPaste | (moved ? soMove : soCopy);
}

} // namespace

TShellList::TCommandState& TShellList::commands()
{
    if (!m_commands)
        m_commands.reset(new TCommandState(*this));
    return *m_commands;
}

TShellCommandHost& TShellList::commandHost()
{
    return *commands().host;
}

TShellCommandDialogs& TShellList::CommandDialogs()
{
    return commands().dialogs;
}

void TShellList::SetCommandHost(TShellCommandHost* host)
{
    commands().host = host ? host : &commands().dialogs;
}

bool TShellList::CommandRunning() const
{
    return m_commands && m_commands->running;
}

TShellList::TCommandGuard::TCommandGuard(TShellList& list)
    : m_list(&list), m_entered(!list.CommandRunning())
{
    list.commands().running = true;
}

TShellList::TCommandGuard::~TCommandGuard()
{
    if (m_entered && m_list)
        m_list->commands().running = false;
}

QMenu* TShellList::PopupMenu() const
{
    return m_commands ? m_commands->popupMenu.data() : nullptr;
}

void TShellList::SetPopupMenu(QMenu* menu)
{
    commands().popupMenu = menu;
}

void TShellList::SetKnownFolderSizes(
    std::function<std::optional<std::int64_t>(const QByteArray&)> known)
{
    commands().dialogs.SetKnownFolderSizes(std::move(known));
}

std::int64_t TShellList::ReportedSize(const QByteArray& path) const
{
    return m_commands ? m_commands->size(path) : -1;
}

TFileNames TShellList::ReportedResults() const
{
    return m_commands ? m_commands->reportedResults : TFileNames();
}

void TShellList::prepareNavigator(TShellNavigator& navigator)
{
    TCommandState& state = commands();
    navigator.SetCommandHost(state.host);
    navigator.SetMenuPresenter(&state.popup);
    navigator.SetReadOnly(ReadOnly());
    navigator.SetShowContextMenuOnTop(ShowContextMenuOnTop());
    navigator.OnContextMenuSelect = OnContextMenuSelect;
    if (ReadOnly())
        navigator.OnRename = nullptr;
    else
        navigator.OnRename = [this](TShellNavigator&) { StartRename(); };
}

TFileNames TShellList::selectedPaths()
{
    TFileNames paths;
    const QByteArray folder = PathBytes();
    for (const int index : SelectedIndexes()) {
        if (!Item(index).Data.IsParentFolder)
            paths.append(pathOf(*this, index, folder));
    }
    return paths;
}

QByteArray TShellList::firstSelectedPath()
{
    for (const int index : SelectedIndexes()) {
        if (!Item(index).Data.IsParentFolder)
            return ItemPath(index);
    }
    return {};
}

void TShellList::ghostSelection()
{
    for (const int index : SelectedIndexes()) {
        Item(index).Cut = true;
        UpdateItem(index);
    }
}

void TShellList::reportGone(const TFileNames& paths)
{
    // Exactly what the operation dealt with leaves: an object whose deletion failed or
    // was skipped stays listed.
    const std::optional<fileops::OperationReport>& report = m_navigator->LastReport();
    if (!report)
        return;
    // The operation reports what it dealt with in the order it was given: walked side by
    // side, a path is gone when it is the next one done. Only when the two do not meet
    // (another order) are the paths done looked up by name.
    TFileNames gone;
    QList<std::int64_t> sizes;
    qsizetype next = 0;
    for (const QByteArray& path : paths) {
        if (next < report->done.size() &&
            WithoutTrailingSlash(report->done[next]) == WithoutTrailingSlash(path)) {
            gone.append(path);
            sizes.append(report->sizes.value(next, -1));
            ++next;
        }
    }
    if (next < report->done.size()) {
        QHash<QByteArray, std::int64_t> done;
        done.reserve(report->done.size());
        for (qsizetype i = 0; i < report->done.size(); ++i)
            done.insert(WithoutTrailingSlash(report->done[i]), report->sizes.value(i, -1));
        gone.clear();
        sizes.clear();
        for (const QByteArray& path : paths) {
            const auto it = done.constFind(WithoutTrailingSlash(path));
            if (it == done.cend())
                continue;
            gone.append(path);
            sizes.append(*it);
        }
    }
    commands().setSizes(gone, std::move(sizes));
    commands().reportedResults = report->results;
    if (!gone.isEmpty())
        ReportOperation(soDelete | soRemoved, gone, {});
}

void TShellList::afterVerb(const QString& verb, bool done, const TFileNames& paths,
                           const TFileNames& pasteNames, const QByteArray& pasteTarget)
{
    if (isDeleteVerb(verb)) {
        reportGone(paths);
        if (done && !AutomaticRefresh())
            RestartRefreshTimer();
        return;
    }
    if (!done)
        return;
    if (isVerb(verb, "undelete")) {
        // What was restored left the trash for the places it came from.
        if (const auto& report = m_navigator->LastReport(); report && !report->done.isEmpty()) {
            commands().rememberSizes(&*report);
            ReportOperation(soMove | soRemoved, report->done, {});
        }
        RestartRefreshTimer();
    } else if (isVerb(verb, "paste")) {
        if (!pasteNames.isEmpty()) {
            commands().rememberSizes(m_navigator->LastReport() ? &*m_navigator->LastReport()
                                                               : nullptr);
            ReportOperation(pasteOperation(pasteNames), pasteNames, pasteTarget);
        }
    } else if (isVerb(verb, "cut")) {
        ghostSelection();
    }
}

bool TShellList::ExecuteVerb(const QString& verb)
{
    if (SelCount() == 0)
        return false;
    if (SelCount() == 1 && Item(Selected()).Data.IsParentFolder) {
        if (isVerb(verb, "default"))
            GoUp();
        return true;
    }
    TCommandGuard guard(*this);
    if (!guard)
        return false;
    TShellNavigator& nav = *m_navigator;
    prepareNavigator(nav);
    const TFileNames pasteNames = isVerb(verb, "paste") ? clipboardNames() : TFileNames();
    const TFileNames paths = isDeleteVerb(verb) ? selectedPaths() : TFileNames();
    // A paste goes into the selected folder, and that is where it is reported to be.
    const QByteArray pasteTarget = isVerb(verb, "paste") ? firstSelectedPath() : QByteArray();
    const QPointer<TShellList> self(this);
    bool done = false;
    if (SelCount() == 1) {
        const int index = Selected();
        nav.SetObjectIDList(Item(index).Data.ItemID);
        if (!isVerb(verb, "default") && !isVerb(verb, "open")) {
            done = nav.InvokeVerb(verb);
        } else if (nav.IsFolder()) {
            // A folder is shown in the list itself.
            if (nav.EnterObject()) {
                FolderChanged();
                FullRefresh();
                return true;
            }
            commands().host->ShowMessage(QStringLiteral("Öffnen"),
                                         QStringLiteral("„%1“ lässt sich nicht öffnen: %2")
                                             .arg(CaptionText(index), SystemErrorText(ENOENT)));
            IncrementalRefresh();
            return false;
        } else if (const QByteArray target = nav.LinkTargetFolder(); !target.isEmpty()) {
            try {
                nav.SetFolderPath(target);
            } catch (const EShellNavigatorError& e) {
                commands().host->ShowMessage(QStringLiteral("Öffnen"), e.message());
                return false;
            }
            FolderChanged();
            FullRefresh();
            return true;
        } else {
            done = nav.InvokeVerb(verb);
        }
    } else {
        nav.MultiObjects() = SelectedNames();
        done = nav.InvokeVerb(verb);
    }
    if (!self)
        return done;
    if (!done && nav.LastError() == ENOENT && !nav.LastReport())
        IncrementalRefresh(); // an object was gone before the verb could run
    afterVerb(verb, done, paths, pasteNames, pasteTarget);
    return done;
}

bool TShellList::PasteIntoFolder(const QString& verb)
{
    TCommandGuard guard(*this);
    if (!guard)
        return false;
    const TFileNames pasteNames = isVerb(verb, "paste") ? clipboardNames() : TFileNames();
    const QByteArray folder = PathBytes();
    const QPointer<TShellList> self(this);
    bool done = false;
    {
        // A navigator of its own, whose current object is the shown folder.
        TShellNavigator temporary(this);
        temporary.SetShowErrorMessages(false);
        prepareNavigator(temporary);
        try {
            temporary.SetFolderIDList(FolderIDList());
            if (temporary.SelectFolderInParent())
                done = temporary.InvokeVerb(verb);
        } catch (const EShellNavigatorError& e) {
            if (self)
                commands().host->ShowMessage(QStringLiteral("Einfügen"), e.message());
        }
        if (!self)
            return done;
        if (done && !pasteNames.isEmpty())
            commands().rememberSizes(temporary.LastReport() ? &*temporary.LastReport() : nullptr);
    }
    if (done && !pasteNames.isEmpty())
        ReportOperation(pasteOperation(pasteNames), pasteNames, folder);
    RestartRefreshTimer();
    return done;
}

void TShellList::ShowShellContextMenu(const QPoint& screenPoint, QString& verb)
{
    verb.clear();
    if (SelCount() == 0)
        return;
    const TFileNames names = SelectedNames();
    if (names.isEmpty())
        return; // only ".." is selected
    TCommandGuard guard(*this);
    if (!guard)
        return;
    TShellNavigator& nav = *m_navigator;
    nav.MultiObjects() = names;
    prepareNavigator(nav);
    const TFileNames pasteNames = clipboardNames();
    const TFileNames paths = selectedPaths();
    const QByteArray pasteTarget = firstSelectedPath();
    const QPointer<TShellList> self(this);
    try {
        verb = nav.ShowContextMenu(screenPoint, PopupMenu());
    } catch (const EShellNavigatorError&) {
        if (self)
            IncrementalRefresh();
        verb.clear();
    }
    if (!self)
        return;
    if (verb.isEmpty() && nav.LastError() == ENOENT && !nav.LastReport()) {
        IncrementalRefresh(); // an object was gone before the menu could show
        return;
    }
    // A delete that removed some objects but not the first still removes those: what ran
    // decides, not only the verb that came back.
    const QString ran = isDeleteVerb(nav.LastVerb()) ? nav.LastVerb() : verb;
    afterVerb(ran, !verb.isEmpty(), paths, pasteNames, pasteTarget);
}

bool TShellList::ShowBackgroundMenu(const QPoint& screenPoint)
{
    if (!m_backgroundPopupMenu)
        return false;
    m_backgroundPopupMenu->popup(screenPoint);
    return true;
}

void TShellList::ReportOperation(TShellOperations operation, const TFileNames& files,
                                 const QByteArray& destination,
                                 const fileops::OperationReport& report)
{
    commands().rememberSizes(&report);
    ReportOperation(operation, files, destination);
}

void TShellList::ReportOperation(TShellOperations operation, const TFileNames& files,
                                 const QByteArray& destination)
{
    if (operation & soDelete) {
        // The deleted objects leave the view at once, before any change report arrives.
        // The smaller side is indexed: most of a large deletion has left the list already
        // as its change reports came.
        std::vector<int> rows;
        const QByteArray folder = PathBytes();
        if (files.size() <= ItemCount()) {
            QSet<QByteArray> gone;
            gone.reserve(files.size());
            for (const QByteArray& path : files)
                gone.insert(WithoutTrailingSlash(path));
            for (int i = 0; i < ItemCount(); ++i) {
                if (!Item(i).Data.IsParentFolder && gone.contains(pathOf(*this, i, folder)))
                    rows.push_back(i);
            }
        } else {
            QHash<QByteArray, int> listed;
            listed.reserve(ItemCount());
            for (int i = 0; i < ItemCount(); ++i) {
                if (!Item(i).Data.IsParentFolder)
                    listed.insert(pathOf(*this, i, folder), i);
            }
            for (const QByteArray& path : files) {
                if (listed.isEmpty())
                    break;
                if (const auto it = listed.constFind(WithoutTrailingSlash(path));
                    it != listed.cend()) {
                    rows.push_back(*it);
                    listed.erase(it);
                }
            }
        }
        BeginUpdate();
        DeleteItems(rows);
        EndUpdate();
        // What the user selected is gone: nothing else becomes the selection for the
        // next command.
        ClearSelection();
    }
    if (!files.isEmpty() && OnOperation)
        OnOperation(operation, files, destination);
    if ((operation & (soMove | soDelete | soRemoved | soRename)) && m_shellLink)
        m_shellLink->BroadcastUpdate(this);
}

// ---- Renaming in place ----

void TShellList::StartRename()
{
    const int index = Selected();
    if (index >= 0)
        EditCaption(index);
}

bool TShellList::CanEdit(int index)
{
    if (!TWideListView::CanEdit(index) || index < 0 || index >= ItemCount())
        return false;
    const TWideListItem& item = Item(index);
    if (item.Data.IsParentFolder || item.Data.ItemID.isNull())
        return false;
    if (OnEditing) {
        bool allow = true;
        OnEditing(index, allow);
        if (!allow)
            return false;
    }
    m_navigator->SetObjectIDList(item.Data.ItemID);
    return m_navigator->CanRename();
}

bool TShellList::CaptionEdited(int index, const QString& text)
{
    TWideListItem& item = Item(index);
    const QString oldText = CaptionText(index);
    if (text == oldText)
        return false; // nothing to rename
    TShellNavigator& nav = *m_navigator;
    nav.SetObjectIDList(item.Data.ItemID);
    if (OnEdited)
        OnEdited(index);
    // The message waits until the editor has closed: a dialog while it closes would
    // let it hand in its text a second time.
    const auto tell = [this](const QString& message) {
        QMetaObject::invokeMethod(
            this,
            [this, message] {
                commands().host->ShowMessage(QStringLiteral("Umbenennen"), message);
            },
            Qt::QueuedConnection);
    };
    const QByteArray newName = QFile::encodeName(text);
    if (const std::optional<QString> problem = fileops::NameProblem(newName)) {
        UpdateItem(index);
        tell(QStringLiteral("„%1“ kann nicht umbenannt werden: %2 Der Name bleibt „%1“.")
                 .arg(oldText, *problem));
        return false;
    }
    const QByteArray oldPath = ItemPath(index);
    QByteArray name = newName;
    if (!nav.RenameObject(name)) {
        const int error = nav.LastError();
        UpdateItem(index);
        tell(QStringLiteral("„%1“ kann nicht in „%2“ umbenannt werden: %3 Der Name bleibt „%1“.")
                 .arg(oldText, text, SystemErrorText(error)));
        ReportOperation(soRename, {oldPath}, oldPath);
        return false;
    }
    item.Data.FullPath.clear();
    item.Data.ItemID = nav.GetObjectIDList();
    if (!item.Caption().isNull()) // an object whose title is not its name
        item.SetCaption(nav.DisplayName());
    UpdateItem(index);
    const QByteArray newPath = ItemPath(index);
    ReportOperation(soRename, {oldPath}, newPath);
    if (ViewStyle() == vsIcon)
        FullRefresh();
    return true;
}
