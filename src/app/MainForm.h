#pragma once
// The program's working window: the folder field with Start and Cancel, the sort
// order, the folder tree of the last scan drawn as columns with share bars, the
// status bar with the scan's totals and the free space, and the area below the tree
// for the selected folder's contents. The window owns its controls and the tree
// model; a running scan is only referred to weakly and is never waited for.

#include "app/FolderTreeModel.h"
#include "controls/ShellListTypes.h"
#include "platform/FreeSpaceProbe.h"
#include "shell/ShellPaths.h"

#include <QElapsedTimer>
#include <QFont>
#include <QMainWindow>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QBrush;
class QLabel;
class QRect;
class QModelIndex;
class QPainter;
class TFolderSizeStore;

namespace Ui {
class TMainForm;
}
namespace shell {
class TSystemImageList;
}

class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The controls, by their names in the form.
    Ui::TMainForm& controls() { return *ui; }
    QLabel* StatusPanel(int panel) const { return panel == 0 ? m_panel0 : m_panel1; }
    QTimer Timer1; // progress and free space, every second
    QTimer Timer2; // lets the tree repaint during a scan, every two seconds
    TFolderTreeModel& TreeModel() { return m_model; }

    // A scan runs while the Start button is disabled.
    bool ScanRunning() const;
    std::weak_ptr<TMyThread> ScanThread() const { return m_model.ScanThread(); }
    QByteArray FreeSpacePath() const { return m_freeSpacePath; }
    bool FreeSpaceFailed() const { return m_freeSpaceFailed; }

    // The free bytes of the volume that holds a path, or nothing when the query
    // fails. It runs on a thread of its own, so that a hung file system cannot stall
    // the window; the status bar shows its answer when it comes. Replaceable, so that
    // the status texts can be checked for any figure.
    using FreeSpaceQuery = platform::FreeSpaceProbe::Query;
    void SetFreeSpaceQuery(FreeSpaceQuery query);
    // Whether a free-space query is still unanswered.
    bool FreeSpaceWaiting() const;
    // The free-space panel's text for F free bytes.
    static QString FreeSpaceText(std::uint64_t freeBytes);

    // The widest size text drawn so far, shared by all items; it only grows.
    static std::int32_t SizeColumnWidth();

    // Handlers, named after the control and the event.
    void FormCreate();
    void BitBtn1Click();
    void BitBtn2Click();
    void Sort1Click();
    void Sort2Click();
    void Timer1Timer();
    void Timer2Timer();
    void wwwBtnClick();
    void ueberbtnClick();
    void endebtnClick();
    // The order of two sibling folders: negative puts node1 first.
    int TreeView1Compare(std::int32_t node1, std::int32_t node2) const;
    // Draws the columns over an item that the view has just painted; `textRect` is
    // the item's text area, `background` what the item was painted with.
    void TreeView1AdvancedCustomDrawItem(QPainter& painter, const QModelIndex& node,
                                         const QRect& textRect, const QBrush& background,
                                         bool selected);
    // Runs the event loop until the window closes and returns the exit code. A scan
    // still running then is not waited for: the process ends at once.
    static int RunProgram(TMainForm& form);

    // The contents pane.
    void TreeView1Change();
    void ShowFolderClick();
    // The folder a node stands for: its own raw name (the scan path for the root).
    QByteArray NodeFolderName(std::int32_t entry) const;
    // The folder path of a node, from its and its ancestors' names; it ends in "/".
    QByteArray NodeFolderPath(std::int32_t entry) const;
    int SavedListHeight() const { return m_savedListHeight; }
    // The height of the contents list; setting it moves the splitter.
    int ListHeight() const;
    void SetListHeight(int height);
    // Shows an error the way the program shows errors that reach it: a message box.
    // Replaceable, so that tests can read the message.
    using ErrorDisplay = std::function<void(const QString& message)>;
    void SetErrorDisplay(ErrorDisplay display) { m_errorDisplay = std::move(display); }

    // The contents list reported an operation: the folders of the tree it changed are
    // refreshed from the disk (not during a scan).
    void ShellList1Operation(TShellOperations operation, const shell::TFileNames& files,
                             const QByteArray& destination);
    // Refreshes the tree's node of a folder, or of its nearest ancestor in the tree.
    void RefreshTreeFolder(const QByteArray& path);
    // F5 in the tree: the selected folder's subtree is walked again.
    void TreeView1Refresh();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormClose();
    void ResortTree();
    // Tree redraw suspension; nested suspensions are counted, and the tree is
    // repainted when the count returns to zero.
    void BeginTreeUpdate();
    void EndTreeUpdate();
    void FlushTreeRedraw();
    void onScanStarted(const QByteArray& scanPath);
    void FreeSpaceAnswered(std::uint64_t scan, std::optional<std::uint64_t> freeBytes);
    void onTopLevelFolderAdded();
    void onScanFinished();
    void setupTree();
    void setupPane();
    void setupCleanup();
    void setupStatusBar();
    void widenTreeColumn();

    std::unique_ptr<Ui::TMainForm> ui;
    TFolderSizeStore& m_store;
    TFolderTreeModel m_model;
    shell::TSystemImageList* SystemImageList1 = nullptr;
    QLabel* m_panel0 = nullptr; // free space
    QLabel* m_panel1 = nullptr; // scan progress
    // The two fonts of the tree's columns.
    QFont FontDialog1; // bold
    QFont FontDialog2; // regular

    QByteArray m_freeSpacePath; // raw bytes: a name need not be valid UTF-8
    bool m_freeSpaceFailed = false;
    std::uint64_t m_freeSpaceScan = 0; // answers to the queries of an earlier scan are dropped
    platform::FreeSpaceProbe* m_freeSpaceProbe = nullptr;
    int m_treeUpdateCount = 0;
    static constexpr qint64 kTopLevelFlushSpacingMs = 40;
    bool m_topLevelFlushPending = false;
    QElapsedTimer m_lastTopLevelFlush;
    int m_deepestExpanded = 0;
    int m_savedListHeight = 0;
    // Changes reported in the shown folder: gathered for this long, and once more after a
    // burst of them.
    static constexpr int kShownFolderGatherMs = 30;
    QTimer m_shownFolderChanged;
    QTimer m_shownFolderSettled;
    ErrorDisplay m_errorDisplay;
};
