#pragma once
// TShellList shows the items of one folder of the namespace: in report view with the
// folder's own columns, sorted in the namespace's order, filled lazily (an item's icon,
// column texts and overlay are read the first time it is drawn), with the selection
// kept by name across refreshes. The main window shows one below the folder tree and
// sets its Path. The list owns its navigator, its image lists, its refresh timer, its
// change notifier and one record per item; coupled controls reach it through
// IShellControl.

#include "controls/FolderWatchPrimer.h"
#include "controls/ShellListTypes.h"
#include "controls/ThumbnailViewer.h"
#include "controls/WideListView.h"
#include "shell/ShellControl.h"
#include "shell/ShellNamespace.h"
#include "shell/ShellPaths.h"
#include "threads/NotificationEvent.h"
#include "threads/SelectionList.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace fileops {
struct OperationReport;
}

class QDrag;
class TFolderReading;
class QHelpEvent;
class QKeyEvent;
class QMenu;
class TSelectionStateImageList;
class TShellCommandDialogs;

namespace shell {
class ShellFolderObject;
class TShellCommandHost;
class TShellLink;
class TShellNavigator;
class TSystemImageList;
} // namespace shell

namespace threads {
class TShellChangeNotifier;
class TWorkerThreadPool;
} // namespace threads

class TShellList : public TWideListView, public IThumbnailViewer, public shell::IShellControl
{
    Q_OBJECT
public:
    explicit TShellList(QWidget* parent = nullptr);
    ~TShellList() override;

    // Loading from a form: while it lasts, Path is only kept and nothing is read;
    // Loaded() ends it and shows the kept path, or the drives when there is none.
    void BeginLoading();
    void Loaded();
    bool Loading() const { return m_loading; }

    // The shown folder, ending in "/" unless empty (the drives and other virtual
    // folders). Setting a path that cannot be opened raises shell::EShellNavigatorError
    // and leaves folder and items as they were.
    QString Path() const;
    QByteArray PathBytes() const;
    void SetPath(const QString& value);
    void SetPathBytes(const QByteArray& value);

    QString Filter() const;
    void SetFilter(const QString& value);
    bool FileSystemOnly() const;
    void SetFileSystemOnly(bool on);
    shell::TShellFolder SpecialFolder() const;
    void SetSpecialFolder(shell::TShellFolder kind);

    bool Details() const { return m_details; }
    void SetDetails(bool on);
    bool ShowFolders() const { return m_showFolders; }
    void SetShowFolders(bool on);
    bool ShowOverlayIcons() const { return m_showOverlayIcons; }
    void SetShowOverlayIcons(bool on);
    bool ShowParentFolder() const { return m_showParentFolder; }
    void SetShowParentFolder(bool on);

    // The options of the option word, bits 0 to 8 in this order.
    enum Option : unsigned short
    {
        ShowNethoodBit = 1 << 0,
        ShowRecycleBinBit = 1 << 1,
        ShowErrorMessagesBit = 1 << 2,
        ShowHiddenBit = 1 << 3,
        ShowFilesBit = 1 << 4,
        ShowContextMenuOnTopBit = 1 << 5,
        ColorCompressedBit = 1 << 6,
        ColorEncryptedBit = 1 << 7,
        NoFillOnStartupBit = 1 << 8,
    };
    unsigned short OptionWord() const { return m_options; }
    bool ShowNethood() const { return m_options & ShowNethoodBit; }
    void SetShowNethood(bool on) { setOption(ShowNethoodBit, on); }
    bool ShowRecycleBin() const { return m_options & ShowRecycleBinBit; }
    void SetShowRecycleBin(bool on) { setOption(ShowRecycleBinBit, on); }
    bool ShowErrorMessages() const { return m_options & ShowErrorMessagesBit; }
    void SetShowErrorMessages(bool on) { setOption(ShowErrorMessagesBit, on); }
    bool ShowHidden() const { return m_options & ShowHiddenBit; }
    void SetShowHidden(bool on) { setOption(ShowHiddenBit, on); }
    bool ShowFiles() const { return m_options & ShowFilesBit; }
    void SetShowFiles(bool on) { setOption(ShowFilesBit, on); }
    bool ShowContextMenuOnTop() const { return m_options & ShowContextMenuOnTopBit; }
    void SetShowContextMenuOnTop(bool on) { setOption(ShowContextMenuOnTopBit, on); }
    bool ColorCompressed() const { return m_options & ColorCompressedBit; }
    void SetColorCompressed(bool on) { setOption(ColorCompressedBit, on); }
    bool ColorEncrypted() const { return m_options & ColorEncryptedBit; }
    void SetColorEncrypted(bool on) { setOption(ColorEncryptedBit, on); }
    bool NoFillOnStartup() const { return m_options & NoFillOnStartupBit; }
    void SetNoFillOnStartup(bool on) { setOption(NoFillOnStartupBit, on); }

    bool AutomaticRefresh() const { return m_automaticRefresh; }
    void SetAutomaticRefresh(bool on);
    bool ShellContextMenu() const { return m_shellContextMenu; }
    void SetShellContextMenu(bool on) { m_shellContextMenu = on; }
    QMenu* BackgroundPopupMenu() const { return m_backgroundPopupMenu; }
    void SetBackgroundPopupMenu(QMenu* menu);
    bool OleDragDrop() const { return m_oleDragDrop; }
    void SetOleDragDrop(bool on);
    TCopyMode CopyMode() const { return m_copyMode; }
    void SetCopyMode(TCopyMode mode) { m_copyMode = mode; }
    void SetViewStyle(TViewStyle style) override;
    bool Thumbnails() const { return m_thumbnails; }
    int ThumbnailWidth() const { return m_thumbnailSize.width(); }
    int ThumbnailHeight() const { return m_thumbnailSize.height(); }
    bool Checkboxes() const { return m_checkboxes; }
    const QImage& BackgroundImage() const { return m_backgroundImage; }
    TBackgroundImageStyle BackgroundImageStyle() const { return m_backgroundImageStyle; }
    bool UseSystemFont() const { return m_useSystemFont; }

    // Thumbnails: in icon view, each item shows its icon in a frame until its picture
    // is made on the thumbnail pool. Switching them on sets vsIcon; any later view
    // style switches them off.
    void SetThumbnails(bool on);
    // Sizes from 1 to 1024 pixels; the items are filled again when next drawn.
    void SetThumbnailWidth(int width);
    void SetThumbnailHeight(int height);
    void SetThumbnailImage(const QImage& bitmap, int imageIndex) override;
    // The pool thumbnails are made on: the program's ThumbnailPool() unless set. A pool
    // set here must outlive the list.
    void SetThumbnailPool(threads::TWorkerThreadPool* pool);
    threads::TWorkerThreadPool* ThumbnailPool() const;

    // Check boxes show each item's state in the shell link's selection list; they need
    // a shell link and switch themselves off again without one.
    void SetCheckboxes(bool on);
    const TSelectionStateImageList* StateImages() const { return m_stateImages.get(); }
    // Selects or deselects the item in the selection list, as a click on its check box
    // does; an item without a check box (greyed) is left alone.
    void ToggleCheckState(int index);
    // Where a left click toggles the item's check box, in this widget's coordinates;
    // empty while it shows none.
    QRect CheckBoxArea(int index) const;

    // A picture behind the items; a null image removes it.
    void SetBackgroundImage(const QImage& image);
    void SetBackgroundImageStyle(TBackgroundImageStyle style);

    // Info tips: while on, an item the mouse rests on shows its type, size and date.
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool on) { m_showHint = on; }
    // The tip of an item, after OnInfoTip; empty for none (the ".." entry).
    QString ItemInfoTip(int index);
    // The tip's area (it goes when the mouse leaves it) and its top-left corner, both in
    // global coordinates.
    QRect InfoTipArea(int index) const;
    QPoint InfoTipPosition(int index) const;
    void SetUseSystemFont(bool on);
    QString Version() const { return QStringLiteral("TShellList V5.4"); }

    // The companions.
    shell::TShellNavigator& Navigator() const { return *m_navigator; }
    shell::TSystemImageList& SmallImages() const { return *m_smallImages; }
    shell::TSystemImageList& LargeImages() const { return *m_largeImages; }
    QList<QImage>& ThumbnailImages() { return m_thumbnailImages; }
    QTimer RefreshTimer;
    const QImage& ArrowUp() const { return m_arrowUp; }
    const QImage& ArrowDown() const { return m_arrowDown; }

    // The columns made by the last CreateColumns and the namespace column each shows.
    int ColumnCount() const { return m_columnCount; }
    int ColumnMap(int listColumn) const;
    int SavedColumnWidth(int listColumn) const;
    // The width a column gets when the user has given it none: the namespace's width,
    // made for characters 7 pixels wide, in the list's font, and at least room for the
    // caption beside the sort arrow.
    int DefaultColumnWidth(const QString& caption, int namespaceWidth) const;
    bool KeepColumnWidths() const { return m_keepColumnWidths; }

    // Reading.
    void FullRefresh() override;
    void IncrementalRefresh() override;
    virtual void CreateColumns();
    void FolderChanged();
    void FillItemDetails(int index);
    // FillItemDetails calls so far.
    int FilledCount() const { return m_filledCount; }
    // A large folder is still being read: the first of its items are listed, the rest
    // join them at the end as they are read, and the list is put in order when the last
    // is in (then OnPopulated fires). Commands act on the items listed at the moment.
    bool Filling() const { return m_reading != nullptr; }
    void RefreshTimerFired();
    void RestartRefreshTimer();

    // Names, paths and identifiers.
    const shell::TFileNames& SelectedNames();
    void SetSelectedNames(const shell::TFileNames& names);
    void RestoreSelection();
    int FindItemByID(const shell::TIdList& id) const;
    int SelectItemByID(const shell::TIdList& id);
    QByteArray ItemPath(int index);
    const shell::TIdList& FolderIDList();

    // Sorting.
    int SortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_sortDescending; }
    void SortByColumn(int index);
    void SortItems();
    void UpdateSortArrows();
    int CompareItems(int index1, int index2, qintptr data);
    // The factor of the comparison, shared by all lists: +1 ascending, -1 descending.
    static int CompareFactor();
    static QImage LoadArrowBitmap(const QString& name);

    // IShellControl
    void SetShellLink(shell::TShellLink* link) override;
    shell::TShellLink* ShellLink() const override { return m_shellLink; }
    void BrowseToIDList(const shell::TIdList& list) override;
    void BrowseAndSelect(const shell::TIdList& folderList, const shell::TIdList& itemList) override;
    void SelectAll() override;
    void GoUp() override;

    // Following the disk: the notifier watches the shown folder while AutomaticRefresh is
    // on; deletions leave the list at once, other changes gather on RefreshTimer.
    threads::TShellChangeNotifier& ChangeNotifier() const { return *m_notifier; }
    void ShellChangeReceived(QObject* sender, threads::TNotificationEvent event,
                             const shell::TIdList& item1, const shell::TIdList& item2);
    // Incremental refreshes run so far.
    int IncrementalRefreshCount() const { return m_incrementalRefreshes; }
    // Whether a file written at `modified` counts as just changed at `now` (both UTC):
    // its thumbnail is then made anew by an incremental refresh.
    static bool ChangedRecently(const QDateTime& modified, const QDateTime& now);

    // Events.
    std::function<void(TWideListItem& item, bool& canAdd)> OnAddItem;
    std::function<void()> OnCreateColumns;
    std::function<void()> OnBeforeFullRefresh;
    std::function<void()> OnPopulated;
    std::function<void()> OnPathChanged;
    std::function<void(int index)> OnGetImageIndex;
    std::function<void(TShellOperations operation, const shell::TFileNames& files,
                       const QByteArray& destination)>
        OnOperation;
    std::function<void(int index1, int index2, qintptr data, int& compare)> OnCompare;
    std::function<void()> OnMouseEnter;
    std::function<void()> OnMouseLeave;
    std::function<void(int index, const QByteArray& path, threads::TSelectionState state)>
        OnCheckStateChanged;
    std::function<void(int index, QString& infoTip)> OnInfoTip;

    // Commands: the context menu, the keyboard, the double click and renaming in place.
    // Verbs run on the selection through the navigator; only what the disk really lost
    // leaves the list, and it leaves at once.
    // Runs a verb ("default", "open", "delete", "deleteforgood", "copy", "cut", "paste",
    // "rename", "properties", "undelete") on the selection; true when it was carried out.
    bool ExecuteVerb(const QString& verb);
    // Runs a verb ("paste") on the shown folder itself.
    bool PasteIntoFolder(const QString& verb);
    // Shows the context menu of the selection at a screen point; `verb` is the verb that ran.
    void ShowShellContextMenu(const QPoint& screenPoint, QString& verb);
    // Pops up BackgroundPopupMenu there; false when there is none.
    bool ShowBackgroundMenu(const QPoint& screenPoint);
    // Tells OnOperation and the coupled controls what an operation did. With soDelete the
    // items of `files` leave the list at once and nothing stays selected.
    void ReportOperation(TShellOperations operation, const shell::TFileNames& files,
                         const QByteArray& destination);
    // The same for an operation run by the engine: its report also gives ReportedSize the
    // sizes of what it dealt with.
    void ReportOperation(TShellOperations operation, const shell::TFileNames& files,
                         const QByteArray& destination, const fileops::OperationReport& report);
    // Begins editing the selected item's name in place.
    void StartRename();
    // The list's ordinary menu: shown on a right click without ShellContextMenu, and its
    // items joined to the context menu's.
    QMenu* PopupMenu() const;
    void SetPopupMenu(QMenu* menu);
    // The byte totals of folders that are known already (the last scan's), for the
    // question before deleting; others are measured.
    void SetKnownFolderSizes(std::function<std::optional<std::int64_t>(const QByteArray&)> known);
    // The size of an object as the last reported operation found it before it left: a
    // file's or link's own size; -1 for folders and objects it does not know.
    std::int64_t ReportedSize(const QByteArray& path) const;
    // What stands for the objects of the last reported operation that the list ran: the
    // copies, the moved or restored objects, the links, the entries in the trash.
    shell::TFileNames ReportedResults() const;
    // The dialogs behind the verbs; a replacement host (a test's) may be set instead.
    TShellCommandDialogs& CommandDialogs();
    void SetCommandHost(shell::TShellCommandHost* host);
    // A command is running (its dialogs and its operation keep the interface going).
    bool CommandRunning() const;

    std::function<void(const QString& command, bool& execute)> OnContextMenuSelect;
    // Before the list's own keys; a handler that sets `key` to 0 stops them.
    std::function<void(int& key, Qt::KeyboardModifiers modifiers)> OnKeyDown;
    // A double click goes here instead of running the default verb.
    std::function<void()> OnDblClick;
    // Asked before an item's name is edited.
    std::function<void(int index, bool& allowEdit)> OnEditing;

    // Drag and drop. The selection is dragged out as a list of file URIs; files dropped
    // in go into the folder under the mouse, the parent for "..", or the shown folder,
    // through the same file operations as paste.
    // Starts a drag of the selection with Qt::LeftButton, Qt::RightButton or
    // Qt::MiddleButton held; returns when the drag has ended.
    void BeginShellDrag(Qt::MouseButton button);
    // The folder a drop on item `index` goes into: a folder's own path, the parent folder
    // for "..", the shown folder for -1; empty where nothing can be dropped.
    QByteArray ItemDropTarget(int index);
    // The button of the drag this list is the source of; Qt::NoButton when none runs.
    Qt::MouseButton DragButton() const;
    // Before a drop is carried out: `dropTarget` is the item dropped on, -1 for the list
    // itself; clearing `executeDrop` cancels the drop.
    std::function<void(TShellList& sender, int dropTarget, const shell::TFileNames& droppedFiles,
                       bool& executeDrop, Qt::MouseButtons buttons, Qt::KeyboardModifiers keys)>
        OnBeforeShellDrop;
    // Seams for tests: the drag loop (QDrag::exec by default) and the clock of the
    // automatic scrolling in milliseconds (a steady clock by default).
    using DragLoop = std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)>;
    static void SetDragLoop(DragLoop loop);
    void SetDragTickSource(std::function<qint64()> ticks);

protected:
    void ColumnClick(int column) override;
    void ImageRequest(int index) override;
    QString DefaultCaption(int index) const override;
    QImage ItemImage(int imageIndex, bool large) const override;
    QImage OverlayImage(int overlayIndex, int size) const override;
    QSize StateImageSize() const override;
    QImage StateImage(int stateIndex) const override;
    QColor ItemTextColor(int index) const override;
    void SelectionChanged() override;
    void ItemChanged(int index, bool textOnly) override;
    bool ViewEvent(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool CanEdit(int index) override;
    bool CaptionEdited(int index, const QString& text) override;

private:
    struct TCommandState;
    struct TCommandStateDeleter
    {
        void operator()(TCommandState* state) const;
    };
    TCommandState& commands();
    // One command at a time, a drop's operation included: a key pressed or a drop made
    // while a command waits for its operation does nothing, rather than starting a
    // second one on the same files. False when another command runs.
    class TCommandGuard
    {
    public:
        explicit TCommandGuard(TShellList& list);
        ~TCommandGuard();
        TCommandGuard(const TCommandGuard&) = delete;
        TCommandGuard& operator=(const TCommandGuard&) = delete;
        explicit operator bool() const { return m_entered; }

    private:
        QPointer<TShellList> m_list; // a command may end with the list itself
        bool m_entered;
    };
    shell::TShellCommandHost& commandHost();
    struct TDragState;
    struct TDragStateDeleter
    {
        void operator()(TDragState* state) const;
    };
    TDragState& dragState();
    bool DragEvent(QObject* watched, QEvent* event);
    bool dragMouseEvent(QObject* watched, QEvent* event);
    void registerDropTarget();
    void dragEnter(QEvent* event);
    void dragOver(QEvent* event);
    void dragLeave();
    void drop(QEvent* event);
    void setTargetItem(int index);
    void autoScroll(const QPoint& point);
    void runDrop(Qt::DropAction effect, shell::TFileNames files, QStringList problems,
                 QByteArray destination);
    std::unique_ptr<TDragState, TDragStateDeleter> m_drag; // made on first use
    bool CommandEvent(QObject* watched, QEvent* event);
    bool KeyDown(QKeyEvent* event);
    void prepareNavigator(shell::TShellNavigator& navigator);
    shell::TFileNames selectedPaths();
    QByteArray firstSelectedPath();
    void afterVerb(const QString& verb, bool done, const shell::TFileNames& paths,
                   const shell::TFileNames& clipboardNames, const QByteArray& pasteTarget);
    void reportGone(const shell::TFileNames& paths);
    void ghostSelection();
    void setOption(unsigned short bit, bool on);
    void fullRefreshUnlessStartup();
    void AddCurrentItem(bool fillDetails);
    void AddParentFolderItem();
    bool ItemPassesFilter();
    // The list's filter (`options` its option word) on the navigator's current object,
    // and the item for it; null when it is not listed. Any thread.
    friend class TFolderReading;
    static bool itemPassesFilter(shell::TShellNavigator& nav, unsigned short options);
    static std::unique_ptr<TWideListItem> makeItem(shell::TShellNavigator& nav,
                                                   unsigned short options, bool showFolders);
    // The order of items by a namespace column: item i has the list `*ids[i]`, and
    // `parent[i]` marks the ".." entry. Any thread.
    static std::vector<int> NamespaceOrder(const std::shared_ptr<shell::ShellFolderObject>& folder,
                                           int column, bool descending,
                                           const std::vector<const shell::TIdList*>& ids,
                                           const std::vector<char>& parent);
    // Reading a large folder on a thread: started by a full refresh once its first items
    // are listed, taken in steps, finished with the order and the selection.
    void readRestOfFolder(shell::TFileNames selected);
    void takeFromReading();
    void finishReading(std::vector<shell::TIdList> read, std::vector<int> order);
    // Selects `selected` again (none: leaves the selection), reports and watches.
    void endFullRefresh(const shell::TFileNames* selected);
    std::unique_ptr<TFolderReading> m_reading;
    shell::TFileNames m_readingSelected; // to select again when the reading ends
    QTimer m_readingTimer;
    QElapsedTimer m_lastReadingStep;
    TFolderWatchPrimer m_watchPrimer;
    void fillSubItems(TWideListItem& item);
    void applySystemFont();
    std::vector<int> findItems(const QList<shell::TIdList>& ids) const;
    // View options (ShellListOptions.cpp).
    bool viewOptionsEvent(QObject* watched, QEvent* event);
    void queueThumbnail(int index);
    void stopThumbnails();
    void applyThumbnailSize();
    void resetImageIndexes();
    void setCheckState(int index);
    void refreshCheckStates();
    void dropCheckboxesWithoutLink();
    void paintBackground(QWidget* viewport);
    void repaintBackground();
    bool showInfoTip(QHelpEvent* event);
    void setSelectedRows(const std::vector<int>& rows);
    void forgetSelectedNames();

    std::unique_ptr<shell::TShellNavigator> m_navigator;
    shell::TSystemImageList* m_smallImages = nullptr;
    shell::TSystemImageList* m_largeImages = nullptr;
    QList<QImage> m_thumbnailImages;
    threads::TWorkerThreadPool* m_thumbnailPool = nullptr;
    bool m_thumbnailWorkQueued = false; // since the last cancel
    std::unique_ptr<TSelectionStateImageList> m_stateImages;
    QPixmap m_backgroundPixmap;
    QList<QObject*> m_backgroundViews; // whose scrolling repaints the picture
    bool m_showHint = false;
    QSize m_thumbnailSize{100, 100};
    QImage m_arrowUp;
    QImage m_arrowDown;
    QImage m_backgroundImage;
    TBackgroundImageStyle m_backgroundImageStyle = bisTiled;
    shell::TShellLink* m_shellLink = nullptr;
    QMenu* m_backgroundPopupMenu = nullptr;

    int m_columnCount = 0;
    std::array<int, 256> m_columnMap{};
    std::array<int, 256> m_savedColumnWidths{};
    QHash<QString, int> m_savedWidthsByCaption;
    bool m_keepColumnWidths = false;
    int m_sortColumn = 0;
    bool m_sortDescending = false;
    shell::TIdList m_folderIDList; // absent until first asked after a full refresh
    shell::TFileNames m_selectedNames;
    QByteArray m_pendingPath;

    unsigned short m_options = ShowNethoodBit | ShowRecycleBinBit | ShowFilesBit;
    bool m_details = true;
    bool m_showFolders = true;
    bool m_showOverlayIcons = true;
    bool m_showParentFolder = false;
    bool m_automaticRefresh = true;
    bool m_shellContextMenu = true;
    bool m_oleDragDrop = true;
    TCopyMode m_copyMode = cmDefault;
    bool m_thumbnails = false;
    bool m_checkboxes = false;
    bool m_useSystemFont = true;

    bool m_loading = false;
    bool m_windowCreated = false;
    bool m_refreshing = false;         // a full refresh runs
    bool m_restoringSelection = false; // change notifications are ignored meanwhile
    int m_filledCount = 0;

    void setUpChangeWatching();
    void pauseWatching();
    void armWatching();
    void resumeWatching();
    void refreshAtOnce();
    bool folderCanBeShown();
    bool isShownFolder(const shell::TIdList& list);
    std::unique_ptr<threads::TShellChangeNotifier> m_notifier;
    bool m_watchLost = false;      // the shown folder's watch is gone: re-read and watch anew
    bool m_fullRefreshDue = false; // changes were lost: the next tick re-reads everything
    qint64 m_refreshStartNs = 0;   // wall time at the start of the last full refresh
    // The shown folder as its path named it when the last full refresh began reading.
    struct FolderStamp
    {
        bool valid = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 modifiedNs = 0;
    };
    static FolderStamp stampOf(const QByteArray& path);
    bool pathLeadsElsewhere();
    void tellWatching();
    FolderStamp m_readStamp;
    bool m_toldNotFollowed = false; // the window was told that changes are not followed
    int m_incrementalRefreshes = 0;
    // Entries reported deleted and not yet taken out: a burst leaves the list in steps of
    // kGoneStepMs, so that the view is not laid out and painted once per file.
    void takeOutGone();
    QList<shell::TIdList> m_pendingGone;
    QTimer m_goneTimer;
    QElapsedTimer m_lastGoneStep;
    std::unique_ptr<TCommandState, TCommandStateDeleter> m_commands; // made on first use
};
