// The contents list in drag and drop: dragging the selection out as file URIs, taking
// files dropped onto a folder item, the ".." entry or the shown folder, the highlighted
// target item, scrolling near the edges, the menu of a right-button drop, and the file
// operation that carries a drop out (the same as paste's, with its progress and questions).

#include "controls/ShellList.h"

#include "controls/ContextMenuPopup.h"
#include "controls/DragDropRules.h"
#include "fileops/ClipboardFiles.h"
#include "fileops/NameRules.h"
#include "fileops/Operation.h"
#include "fileops/TrashStore.h"
#include "shell/ContextMenuHandler.h"
#include "shell/ShellCommandHost.h"
#include "shell/ShellFolderObject.h"
#include "shell/ShellNavigator.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <xcb/xcb.h>

using namespace shell;

struct TShellList::TDragState
{
    // Drop target, from drag enter to drop or leave.
    bool entered = false;
    bool moved = false;       // a drag-over was seen: its keys count at the drop
    TFileNames files;         // the local files the data carries
    QStringList problems;     // lines of the data that name no local file
    QByteArray firstExisting; // the first of them that exists, for the file-system test
    Qt::DropActions offered;  // what the drag source allows
    QByteArray folderTarget;  // the shown folder, when it takes drops
    int targetItem = -1;      // the item drawn as the drop target
    QByteArray itemTarget;    // its folder
    QByteArray destination;   // where a drop at the last point goes; empty: nowhere
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers keys;
    QPoint point; // the last point of a drag-over, viewport coordinates
    qint64 lastScroll = 0;
    QTimer scrollTimer;
    std::function<qint64()> ticks;

    // Drag source.
    Qt::MouseButton dragButton = Qt::NoButton;
    QSet<QByteArray> dragged; // the paths of the running drag, without a trailing "/"
    QObject dragEnd;          // holds the reports that wait for the end of a drag

    // A press on an item that may become a drag, and a context menu held back meanwhile.
    Qt::MouseButton pressButton = Qt::NoButton;
    QPoint pressPoint; // global
    bool menuHeld = false;

    void forgetDrop()
    {
        entered = moved = false;
        files.clear();
        problems.clear();
        firstExisting.clear();
        folderTarget.clear();
        itemTarget.clear();
        destination.clear();
        targetItem = -1;
        buttons = {};
        keys = {};
        scrollTimer.stop();
    }
};

void TShellList::TDragStateDeleter::operator()(TDragState* state) const
{
    delete state;
}

namespace {

TShellList::DragLoop& dragLoop()
{
    static TShellList::DragLoop loop;
    return loop;
}

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Applies the continue and cancel rules while a drag runs: Escape or a second mouse
// button ends it without a drop.
class DragWatch : public QObject
{
public:
    explicit DragWatch(Qt::MouseButton button) : m_button(button) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        bool escape = false;
        Qt::MouseButtons buttons = m_button;
        if (event->type() == QEvent::KeyPress)
            escape = static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        else if (event->type() == QEvent::MouseButtonPress)
            buttons = static_cast<QMouseEvent*>(event)->buttons() | m_button;
        else
            return QObject::eventFilter(watched, event);
        if (TDragDropRules::QueryContinueDrag(escape, buttons, m_button) ==
            TDragDropRules::DragContinue::Cancel) {
            QDrag::cancel();
            return true;
        }
        return false;
    }

private:
    Qt::MouseButton m_button;
};

// Tells the X11 source of a drop from another program the effect the drop really has,
// before the platform reports the drop finished. Such a source keeps the action of the
// last drag-over answer, which was given before a right-button drop's menu was answered
// or the drop was refused: "move" would make it drop its object from its own view.
void tellDropSource(const QWidget& target, Qt::DropAction effect)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const QWidget* window = target.window();
    if (QGuiApplication::platformName() != u"xcb" || !x11 || !x11->connection() ||
        !window->windowHandle())
        return;
    xcb_connection_t* connection = x11->connection();
    const auto atom = [connection](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    };
    // The source owns the drag's selection and takes the answers at that window.
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom("XdndSelection")), nullptr);
    const xcb_window_t source = owner ? owner->owner : xcb_window_t(XCB_WINDOW_NONE);
    std::free(owner);
    if (source == XCB_WINDOW_NONE)
        return;
    xcb_client_message_event_t status{};
    status.response_type = XCB_CLIENT_MESSAGE;
    status.format = 32;
    status.window = source;
    status.type = atom("XdndStatus");
    status.data.data32[0] = xcb_window_t(window->windowHandle()->winId());
    status.data.data32[1] = effect == Qt::IgnoreAction ? 0 : 1; // accepted
    status.data.data32[4] = effect == Qt::MoveAction   ? atom("XdndActionMove")
                            : effect == Qt::CopyAction ? atom("XdndActionCopy")
                            : effect == Qt::LinkAction ? atom("XdndActionLink")
                                                       : xcb_atom_t(XCB_ATOM_NONE);
    xcb_send_event(connection, 0, source, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&status));
    xcb_flush(connection);
}

fileops::OperationKind kindOf(Qt::DropAction effect)
{
    switch (effect) {
    case Qt::MoveAction:
        return fileops::OperationKind::Move;
    case Qt::LinkAction:
        return fileops::OperationKind::Link;
    default:
        return fileops::OperationKind::Copy;
    }
}

} // namespace

TShellList::TDragState& TShellList::dragState()
{
    if (!m_drag) {
        m_drag.reset(new TDragState);
        m_drag->scrollTimer.setInterval(int(TDragDropRules::kScrollIntervalMs));
        connect(&m_drag->scrollTimer, &QTimer::timeout, this,
                [this] { autoScroll(m_drag->point); });
        m_drag->ticks = steadyMs;
    }
    return *m_drag;
}

void TShellList::SetDragLoop(DragLoop loop)
{
    dragLoop() = std::move(loop);
}

void TShellList::SetDragTickSource(std::function<qint64()> ticks)
{
    dragState().ticks = ticks ? std::move(ticks) : steadyMs;
}

Qt::MouseButton TShellList::DragButton() const
{
    return m_drag ? m_drag->dragButton : Qt::NoButton;
}

void TShellList::SetOleDragDrop(bool on)
{
    m_oleDragDrop = on;
    registerDropTarget();
}

void TShellList::registerDropTarget()
{
    QAbstractItemView* view = CurrentView();
    view->viewport()->setAcceptDrops(m_oleDragDrop);
    // A press on a selected item keeps the selection: it may start a drag of all of it.
    view->setDragEnabled(m_oleDragDrop);
}

// ---- Drag source ----

void TShellList::BeginShellDrag(Qt::MouseButton button)
{
    TDragState& state = dragState();
    if (!m_oleDragDrop || state.dragButton != Qt::NoButton)
        return;
    const std::shared_ptr<ShellFolderObject>& folder = m_navigator->ShellFolder();
    Qt::DropActions allowed = TDragDropRules::CopyModeEffects(m_copyMode);
    TFileNames paths;
    for (const int index : SelectedIndexes()) {
        const TWideListItem& item = Item(index);
        if (item.Data.IsParentFolder || item.Data.ItemID.isNull())
            continue;
        const std::uint32_t attributes =
            folder ? folder->attributesOf(item.Data.ItemID,
                                          SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_FILESYSTEM)
                   : 0;
        allowed &= TDragDropRules::EffectsOfAttributes(attributes);
        const QByteArray path = ItemPath(index);
        if (!path.isEmpty())
            paths.append(WithoutTrailingSlash(path));
    }
    if (paths.isEmpty() || !allowed)
        return;

    auto* data = new QMimeData;
    QByteArray uris;
    QStringList names;
    fileops::OperationReport before; // the objects' own sizes, for a move's report
    for (const QByteArray& path : paths) {
        uris += fileops::ClipboardFiles::uriOf(path) + "\r\n";
        names << QFile::decodeName(path);
        struct stat st;
        const bool file = ::lstat(path.constData(), &st) == 0 && !S_ISDIR(st.st_mode);
        before.done.append(path);
        before.sizes.append(file ? std::int64_t(st.st_size) : -1);
    }
    data->setData(QStringLiteral("text/uri-list"), uris);
    data->setText(names.join(u'\n'));
    // On the heap and not ours to delete: a program that takes the drop asks for the data
    // only after it, and the platform keeps the drag until that program has finished with
    // it (on X11), or deletes it itself once the drag has ended.
    const QPointer<QDrag> drag = new QDrag(this);
    drag->setMimeData(data);

    state.dragButton = button;
    state.dragged = QSet<QByteArray>(paths.cbegin(), paths.cend());
    const QPointer<TShellList> self(this);
    Qt::DropAction effect;
    if (dragLoop()) {
        effect = dragLoop()(*drag, allowed);
        if (drag)
            drag->deleteLater(); // no platform holds it
    } else {
        // The platform's loop filters the events it needs first; the watch goes in once
        // the loop runs, so that it sees a second button before the loop does.
        DragWatch watch(button);
        QTimer::singleShot(0, &watch, [&watch] { qApp->installEventFilter(&watch); });
        effect = drag->exec(allowed);
    }
    if (!self)
        return;
    state.dragButton = Qt::NoButton;
    state.dragged.clear();
    if (effect == Qt::IgnoreAction)
        return;

    // What the target did is done when it has finished with the drag, which is when the
    // platform lets the drag go: only then is it known which of the moved objects left.
    auto report = [this, effect, before = std::move(before)]() mutable {
        TShellOperations operation = soDragSource;
        if (effect == Qt::CopyAction) {
            operation |= soCopy;
        } else if (effect == Qt::MoveAction) {
            operation |= soMove | soRemoved;
            for (qsizetype i = before.done.size(); i-- > 0;) {
                if (PathExists(before.done[i])) {
                    before.done.removeAt(i);
                    before.sizes.removeAt(i);
                }
            }
            if (before.done.isEmpty())
                return;
        }
        const TFileNames files = before.done;
        ReportOperation(operation, files, {}, before);
    };
    if (drag)
        connect(drag, &QObject::destroyed, &state.dragEnd, report);
    else
        report();
}

// ---- Drop targets ----

QByteArray TShellList::ItemDropTarget(int index)
{
    const std::shared_ptr<ShellFolderObject>& folder = m_navigator->ShellFolder();
    if (!folder)
        return {};
    // Only folders of a file system outside the trash take files: a file dropped into a
    // trash's folder would have no record there. A trashed folder opened by its path is
    // known by the trash's files folder above it.
    const auto takesDrops = [](const std::optional<ShellLocation>& place) {
        if (!place || place->kind != ShellLocation::FileSystem || place->inTrash)
            return false;
        for (QByteArray at = place->path; at.size() > 1; at = fileops::ParentOf(at)) {
            if (fileops::TrashStore::isFilesFolder(at))
                return false;
        }
        return true;
    };
    if (index < 0) {
        if (!takesDrops(folder->location()))
            return {};
        return WithoutTrailingSlash(PathBytes());
    }
    if (index >= ItemCount())
        return {};
    const TWideListItem& item = Item(index);
    if (item.Data.IsParentFolder) {
        // The parent as the namespace sees it: a drive's root has the drives folder above.
        TShellNavigator parent;
        parent.SetShowErrorMessages(false);
        try {
            parent.SetFolderIDList(FolderIDList());
            if (!parent.SelectFolderInParent() || !parent.SelectFolderInParent())
                return {};
        } catch (const EShellNavigatorError&) {
            return {};
        }
        const std::optional<ShellLocation> place = ResolveIDList(parent.AbsoluteObjectIDList());
        return takesDrops(place) ? place->path : QByteArray();
    }
    if (!takesDrops(folder->locate(item.Data.ItemID)))
        return {};
    const QByteArray path = WithoutTrailingSlash(ItemPath(index));
    struct stat st; // a link to a folder takes drops into its target
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return path;
}

void TShellList::setTargetItem(int index)
{
    TDragState& state = dragState();
    if (index == state.targetItem)
        return;
    if (state.targetItem >= 0 && state.targetItem < ItemCount()) {
        Item(state.targetItem).DropTarget = false;
        UpdateItem(state.targetItem);
    }
    state.targetItem = -1;
    state.itemTarget.clear();
    if (index < 0)
        return;
    QByteArray target = ItemDropTarget(index);
    // The dragged objects themselves take nothing, as the shown folder does not from its
    // own list: a drag that ends there drops nothing.
    if (target.isEmpty() || state.dragged.contains(target))
        return;
    state.targetItem = index;
    state.itemTarget = std::move(target);
    Item(index).DropTarget = true;
    UpdateItem(index);
}

void TShellList::autoScroll(const QPoint& point)
{
    TDragState& state = dragState();
    const qint64 now = state.ticks();
    if (now - state.lastScroll < TDragDropRules::kScrollIntervalMs)
        return;
    QAbstractItemView* view = CurrentView();
    const TDragDropRules::ScrollStep step =
        TDragDropRules::ScrollDirection(view->viewport()->rect(), point);
    const auto scroll = [](QScrollBar* bar, int direction) {
        // Only a bar with something to scroll moves.
        if (direction == 0 || bar->maximum() <= bar->minimum())
            return;
        bar->triggerAction(direction < 0 ? QAbstractSlider::SliderSingleStepSub
                                         : QAbstractSlider::SliderSingleStepAdd);
    };
    scroll(view->horizontalScrollBar(), step.dx);
    scroll(view->verticalScrollBar(), step.dy);
    state.lastScroll = now;
}

bool TShellList::DragEvent(QObject* watched, QEvent* event)
{
    QAbstractItemView* view = CurrentView();
    if (watched != view->viewport() && watched != view)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
        dragEnter(event);
        return true;
    case QEvent::DragMove:
        dragOver(event);
        return true;
    case QEvent::DragLeave:
        dragLeave();
        return true;
    case QEvent::Drop:
        drop(event);
        return true;
    default:
        return dragMouseEvent(watched, event);
    }
}

bool TShellList::dragMouseEvent(QObject* watched, QEvent* event)
{
    QAbstractItemView* view = CurrentView();
    TDragState& state = dragState();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        if (watched != view->viewport())
            return false;
        const auto* e = static_cast<QMouseEvent*>(event);
        state.menuHeld = false;
        state.pressButton = Qt::NoButton;
        const QPoint global = e->globalPosition().toPoint();
        if (m_oleDragDrop && ItemAt(mapFromGlobal(global)) >= 0 &&
            (e->button() == Qt::LeftButton || e->button() == Qt::RightButton ||
             e->button() == Qt::MiddleButton)) {
            state.pressButton = e->button();
            state.pressPoint = global;
        }
        return false;
    }
    case QEvent::ContextMenu: {
        // A right press on an item may begin a drag: its menu waits for the release.
        const auto* e = static_cast<QContextMenuEvent*>(event);
        if (e->reason() != QContextMenuEvent::Mouse || state.pressButton != Qt::RightButton ||
            !(QGuiApplication::mouseButtons() & Qt::RightButton))
            return false;
        state.menuHeld = true;
        return true;
    }
    case QEvent::MouseMove: {
        if (watched != view->viewport() || state.pressButton == Qt::NoButton)
            return false;
        const auto* e = static_cast<QMouseEvent*>(event);
        if (!(e->buttons() & state.pressButton)) {
            state.pressButton = Qt::NoButton;
            return false;
        }
        // Moving from a pressed item drags, it does not select.
        const QPoint global = e->globalPosition().toPoint();
        if ((global - state.pressPoint).manhattanLength() >= QApplication::startDragDistance() &&
            SelCount() > 0) {
            const Qt::MouseButton button = std::exchange(state.pressButton, Qt::NoButton);
            state.menuHeld = false;
            BeginShellDrag(button);
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (watched != view->viewport())
            return false;
        const auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != state.pressButton)
            return false;
        state.pressButton = Qt::NoButton;
        if (std::exchange(state.menuHeld, false)) {
            const QPoint global = e->globalPosition().toPoint();
            QContextMenuEvent menu(QContextMenuEvent::Mouse,
                                   view->viewport()->mapFromGlobal(global), global, e->modifiers());
            CommandEvent(view->viewport(), &menu);
        }
        return false;
    }
    default:
        return false;
    }
}

void TShellList::dragEnter(QEvent* event)
{
    auto* e = static_cast<QDropEvent*>(event);
    TDragState& state = dragState();
    setTargetItem(-1);
    state.forgetDrop();
    if (ReadOnly() || !m_oleDragDrop || CommandRunning()) {
        e->ignore();
        return;
    }
    fileops::ClipboardFiles::Contents contents = fileops::ClipboardFiles::read(e->mimeData());
    if (!contents.hasFileList || (contents.files.isEmpty() && contents.problems.isEmpty())) {
        e->ignore();
        return;
    }
    state.entered = true;
    state.files = std::move(contents.files);
    state.problems = std::move(contents.problems);
    for (const QByteArray& file : std::as_const(state.files)) {
        if (PathExists(file)) {
            state.firstExisting = file;
            break;
        }
    }
    state.offered = e->possibleActions();
    state.folderTarget = ItemDropTarget(-1);
    state.lastScroll = state.ticks();
    state.scrollTimer.start();
    if (event->type() == QEvent::DragEnter) {
        dragOver(event);
        // Entered: the drag-overs that follow decide where a drop is possible.
        e->accept();
    }
}

void TShellList::dragOver(QEvent* event)
{
    auto* e = static_cast<QDropEvent*>(event);
    TDragState& state = dragState();
    if (!state.entered || ReadOnly()) {
        e->ignore();
        return;
    }
    const QPoint point = e->position().toPoint();
    state.point = point;
    state.buttons = e->buttons();
    state.keys = e->modifiers();
    state.moved = true;
    QAbstractItemView* view = CurrentView();
    setTargetItem(ItemAt(view->viewport()->mapTo(this, point)));
    autoScroll(point);

    // Without a folder under the mouse the shown folder takes the drop, but not from its
    // own list with the left button: the items are there already.
    QByteArray& destination = state.destination;
    destination = state.itemTarget;
    const bool ownDrag = state.dragButton != Qt::NoButton;
    if (destination.isEmpty() && (!ownDrag || (state.buttons & Qt::RightButton)))
        destination = state.folderTarget;
    const Qt::DropActions allowed = TDragDropRules::CopyModeEffects(m_copyMode) & state.offered;
    Qt::DropAction effect = Qt::IgnoreAction;
    if (!destination.isEmpty()) {
        const bool same = state.firstExisting.isEmpty() ||
                          TDragDropRules::SameFileSystem(state.firstExisting, destination);
        effect = TDragDropRules::ChooseEffect(allowed, state.keys, same);
    }
    if (effect == Qt::IgnoreAction) {
        e->setDropAction(Qt::IgnoreAction);
        e->ignore();
        return;
    }
    e->setDropAction(effect);
    e->accept();
}

void TShellList::dragLeave()
{
    setTargetItem(-1);
    dragState().forgetDrop();
}

void TShellList::drop(QEvent* event)
{
    auto* e = static_cast<QDropEvent*>(event);
    TDragState& state = dragState();
    // Whatever this drop comes to, a source in another program learns it (a drag of this
    // program has a source object, and the platform tells it the drop's answer itself).
    struct TellSource
    {
        const QWidget& target;
        QDropEvent& drop;
        ~TellSource()
        {
            if (!drop.source())
                tellDropSource(target, drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction);
        }
    } tell{*this, *e};
    if (!state.entered)
        dragEnter(event); // a drop without an enter (another toolkit's) is read here
    const Qt::MouseButtons buttons = state.moved ? state.buttons : e->buttons();
    const Qt::KeyboardModifiers keys = state.moved ? state.keys : e->modifiers();
    {
        // The answer of a drag-over at the drop's point, with the keys of the last one.
        QDragMoveEvent over(e->position().toPoint(), e->possibleActions(), e->mimeData(), buttons,
                            keys);
        dragOver(&over);
        e->setDropAction(over.isAccepted() ? over.dropAction() : Qt::IgnoreAction);
    }
    const QByteArray destination = state.destination;
    Qt::DropAction effect = e->dropAction();
    const int targetItem = state.targetItem;
    TFileNames files = state.files;
    QStringList problems = state.problems;
    const Qt::DropActions allowed = TDragDropRules::CopyModeEffects(m_copyMode) & state.offered;
    setTargetItem(-1);
    state.forgetDrop();
    e->setDropAction(Qt::IgnoreAction);
    e->ignore();
    if (destination.isEmpty() || effect == Qt::IgnoreAction ||
        (files.isEmpty() && problems.isEmpty()))
        return;

    bool execute = true;
    if (OnBeforeShellDrop) {
        const QPointer<TShellList> self(this);
        OnBeforeShellDrop(*this, targetItem, files, execute, buttons, keys);
        if (!self)
            return;
    }
    if (!execute)
        return;
    if (buttons & Qt::RightButton) {
        QMenu menu(this);
        const auto add = [&](const QString& text, Qt::DropAction action) {
            QAction* item = menu.addAction(text);
            item->setData(int(action));
            item->setEnabled(action == Qt::IgnoreAction || allowed.testFlag(action));
            if (action == effect)
                menu.setDefaultAction(item);
        };
        add(QStringLiteral("Hierher verschieben"), Qt::MoveAction);
        add(QStringLiteral("Hierher kopieren"), Qt::CopyAction);
        add(QStringLiteral("Verknüpfung hier erstellen"), Qt::LinkAction);
        menu.addSeparator();
        add(QStringLiteral("Abbrechen"), Qt::IgnoreAction);
        const QPointer<TShellList> self(this);
        QAction* chosen = TContextMenuPopup::Exec(
            menu, CurrentView()->viewport()->mapToGlobal(e->position().toPoint()));
        if (!self || !chosen || !chosen->isEnabled())
            return;
        effect = Qt::DropAction(chosen->data().toInt());
        if (effect == Qt::IgnoreAction)
            return;
    }
    if (effect != Qt::LinkAction) {
        // A folder cannot go into itself: nothing of such a drop is carried out.
        for (const QByteArray& file : std::as_const(files)) {
            if (!fileops::IsSameOrBelow(destination, file))
                continue;
            const bool move = effect == Qt::MoveAction;
            const QString text =
                QStringLiteral("„%1“ kann nicht in sich selbst oder einen seiner Unterordner "
                               "%2 werden. Es wurde nichts %2.")
                    .arg(QFile::decodeName(file),
                         move ? QStringLiteral("verschoben") : QStringLiteral("kopiert"));
            const QString title = fileops::OperationTitle(kindOf(effect));
            // The message waits until the drop has ended, so that the source is not held.
            QMetaObject::invokeMethod(
                this, [this, title, text] { commandHost().ShowMessage(title, text); },
                Qt::QueuedConnection);
            return;
        }
    }
    e->setDropAction(effect);
    e->accept();
    // The operation runs once the drop has ended: the source learns the effect at once.
    QMetaObject::invokeMethod(
        this,
        [this, effect, files = std::move(files), problems = std::move(problems), destination] {
            runDrop(effect, files, problems, destination);
        },
        Qt::QueuedConnection);
}

void TShellList::runDrop(Qt::DropAction effect, TFileNames files, QStringList problems,
                         QByteArray destination)
{
    const TCommandGuard guard(*this);
    if (!guard) {
        commandHost().ShowMessage(
            fileops::OperationTitle(kindOf(effect)),
            QStringLiteral("Es läuft noch ein anderer Vorgang. Es wurde nichts abgelegt."));
        return;
    }
    fileops::Operation operation;
    operation.kind = kindOf(effect);
    operation.sources = std::move(files);
    operation.destination = destination;
    const QPointer<TShellList> self(this);
    // Thousands of files arriving in the shown folder would each be an event for the
    // interface thread while the worker moves them; one refresh afterwards shows them all.
    const bool intoShownFolder = m_automaticRefresh && SamePath(destination, PathBytes());
    if (intoShownFolder)
        pauseWatching();
    const fileops::OperationReport report =
        RunOperation(std::move(operation), &commandHost(), problems);
    if (!self)
        return;
    if (intoShownFolder)
        resumeWatching();
    TShellOperations done = soDropTarget;
    if (effect == Qt::MoveAction)
        done |= soMove;
    else if (effect == Qt::CopyAction)
        done |= soCopy;
    ReportOperation(done, report.done, destination, report);
    RestartRefreshTimer();
}
