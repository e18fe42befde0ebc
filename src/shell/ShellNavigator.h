#pragma once
// TShellNavigator is a cursor over the namespace: it holds a current folder and, inside
// it, a current object, hands out the folder's items one at a time, and answers questions
// about the current object (names, attributes, icon, columns, info tip, date, thumbnail).
// It renames the current object and hands out the objects a context menu, a drag or a
// drop is built on. A navigator belongs to the thread that made it and to its owner.
//
// Paths and names are raw bytes towards the file system; the QString forms are for the
// user (decoded for display, encoded from what was typed).

#include "fileops/OperationReport.h"
#include "shell/IdList.h"
#include "shell/ShellFolderObject.h"
#include "shell/ShellMenu.h"
#include "shell/ShellNamespace.h"
#include "shell/ShellPaths.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace shell {

class TContextMenuHandler;
class TContextMenuPresenter;
class TShellCommandHost;

// The three failures of the navigator that are raised rather than returned.
class EShellNavigatorError : public std::exception
{
public:
    explicit EShellNavigatorError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {
    }
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// What a UI object is for; the later context menu, drag and drop complete them.
enum class TUIObjectKind
{
    ContextMenu,
    DataObject,
    DropTarget,
    QueryInfo,
    ExtractImage
};

// The objects one UI request is about, as absolute lists and their paths.
class TShellUIObject
{
public:
    // `paths`, when given, are the items' paths, known already to whoever made the lists.
    TShellUIObject(TUIObjectKind kind, std::shared_ptr<ShellFolderObject> folder,
                   QList<TIdList> items, TFileNames paths = {});
    TUIObjectKind kind() const { return m_kind; }
    const std::shared_ptr<ShellFolderObject>& folder() const { return m_folder; }
    const QList<TIdList>& items() const { return m_items; }
    // File-system paths of the items (empty entries for virtual objects).
    TFileNames paths() const;

private:
    TUIObjectKind m_kind;
    std::shared_ptr<ShellFolderObject> m_folder;
    QList<TIdList> m_items;
    TFileNames m_paths;
};

class TShellNavigator : public QObject
{
    Q_OBJECT
public:
    explicit TShellNavigator(QObject* owner = nullptr);
    ~TShellNavigator() override;

    // Folder. Setting it to a path that cannot be parsed raises EShellNavigatorError and
    // keeps the previous folder; the empty path is the drives folder.
    QString Folder() const { return QFile::decodeName(m_folderPath); }
    const QByteArray& FolderPath() const { return m_folderPath; }
    void SetFolder(const QString& value) { SetFolderPath(QFile::encodeName(value)); }
    void SetFolderPath(const QByteArray& value);
    void SetFolderIDList(const TIdList& list);
    TIdList GetFolderIDList() const { return CopyIDList(m_folderList); }
    const std::shared_ptr<ShellFolderObject>& ShellFolder() const { return m_shellFolder; }
    TShellFolder SpecialFolder() const;
    void SetSpecialFolder(TShellFolder kind);
    bool SelectFolderInParent();
    bool EnterObject();
    bool IsOrdinaryFolder() const;

    // Current object.
    void SetObjectIDList(const TIdList& list);
    TIdList GetObjectIDList() const { return CopyIDList(m_objectList); }
    const TIdList& AbsoluteObjectIDList();
    void SetAbsoluteObjectIDList(const TIdList& list);
    bool HasObject() const { return !m_objectList.isNull(); }
    QString ObjectName();
    QByteArray ObjectNameBytes();
    // Makes an object of the folder current, or with a full path the object there; a
    // name that is not found raises EShellNavigatorError.
    void SetObjectName(const QString& value) { SetObjectNameBytes(QFile::encodeName(value)); }
    void SetObjectNameBytes(const QByteArray& value);
    QString DisplayName();
    std::uint32_t GetAttributes(std::uint32_t mask);
    bool IsHidden() { return GetAttributes(SFGAO_HIDDEN) != 0; }
    bool IsLink() { return GetAttributes(SFGAO_LINK) != 0; }
    bool CanRename() { return GetAttributes(SFGAO_CANRENAME) != 0; }
    bool IsFolder();
    TShellFolder ObjectSpecialFolder();
    QString NetworkName() const { return {}; }
    QByteArray LinkTargetFolder();
    int ObjectIconIndex();
    int OverlayIndex();
    QString InfoTip(bool slow);
    // Last write time in UTC; invalid when unknown.
    QDateTime ObjectModified();
    // An image scaled to fit width x height (200 x 200 when either is not positive);
    // null when the object is no readable image.
    QImage ExtractThumbnail(int width, int height);
    // Renames the current object, never replacing another one. `name` then holds the
    // object's name: the new one on success, the old one otherwise.
    bool RenameObject(QByteArray& name);
    bool RenameObject(QString& name);
    int LastError() const { return m_lastError; }
    // The UI object for the current object or the names in MultiObjects, which is
    // emptied in every case. Null, with LastError set, when an object is not found.
    std::unique_ptr<TShellUIObject> GetUIObject(TUIObjectKind kind);
    TFileNames& MultiObjects() { return m_multiObjects; }

    // Enumeration.
    bool NextObject();
    // The next NextObject starts a new pass.
    void RestartEnumeration() { m_enumerator.reset(); }
    // Hands the pass begun here to another navigator of the same folder (on another
    // thread): its NextObject goes on where this one stopped, and this one starts anew.
    std::unique_ptr<EnumIDList> TakeEnumeration() { return std::move(m_enumerator); }
    void ContinueEnumeration(std::unique_ptr<EnumIDList> pass) { m_enumerator = std::move(pass); }
    QString Filter() const;
    void SetFilter(const QString& value);
    bool MatchesFilter();
    bool FileSystemOnly() const { return m_fileSystemOnly; }
    void SetFileSystemOnly(bool on) { m_fileSystemOnly = on; }

    // Detail columns.
    bool DetailsAvailable() const { return m_shellFolder != nullptr; }
    void DetailText(int column, bool header, QString& text);
    // Alignment (0 left, 1 right, 2 centre) and width in pixels; width 0 for a column
    // that the folder does not show by default.
    int ColumnInfo(int column, int& width) const;

    // The owner for anything that may show UI; none when errors are not to be shown.
    QObject* ParentWindow() const;
    void Loaded() { m_loaded = true; }
    void BeginLoading() { m_loading = true; }
    void EndLoading()
    {
        m_loading = false;
        Loaded();
    }
    bool ShowErrorMessages() const { return m_showErrorMessages; }
    void SetShowErrorMessages(bool on) { m_showErrorMessages = on; }
    bool ShowContextMenuOnTop() const { return m_showContextMenuOnTop; }
    void SetShowContextMenuOnTop(bool on) { m_showContextMenuOnTop = on; }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool on) { m_readOnly = on; }
    QString Version() const { return QStringLiteral("TShellNavigator V5.4"); }

    // The context menu and the verbs. ShowContextMenu shows the menu of MultiObjects (or
    // the current object) at a screen point, with the items of `appMenu` (a menu of the
    // toolkit; may be null) before or after the verbs (ShowContextMenuOnTop), runs what
    // the user picks and returns the verb that ran: empty when nothing or an application
    // item was picked, the verb was refused, failed, or was "delete" and the object is
    // still there. InvokeVerb runs a verb without a menu ("" is the default verb) and
    // answers whether it was carried out, by the same rule. Both empty MultiObjects.
    QString ShowContextMenu(const QPoint& point, QObject* appMenu);
    bool InvokeVerb(const QString& verb);
    // What an open context menu reports: the highlighted item's help text or hint becomes
    // the application's status tip.
    void ContextMenuWndProc(const TMenuMessage& message);
    // The toolkit's side of the menu and of the verbs; owned by the navigator's owner.
    // Without a presenter no menu can be shown; without a host nothing is deleted and
    // nothing is asked or shown.
    void SetMenuPresenter(TContextMenuPresenter* presenter) { m_presenter = presenter; }
    TContextMenuPresenter* MenuPresenter() const { return m_presenter; }
    void SetCommandHost(TShellCommandHost* host) { m_commandHost = host; }
    TShellCommandHost* CommandHost() const { return m_commandHost; }
    // The report of the file operation that the last verb ran, if it ran one.
    const std::optional<fileops::OperationReport>& LastReport() const { return m_lastReport; }
    // The verb that the last menu or InvokeVerb ran, also when the result was taken back
    // (a delete whose first object is still there); empty when none ran.
    const QString& LastVerb() const { return m_lastVerb; }

    // Called instead of a rename of the handler's own (the owner edits the name in place).
    std::function<void(TShellNavigator& sender)> OnRename;
    // Asked before a verb runs; clearing `execute` refuses it.
    std::function<void(const QString& command, bool& execute)> OnContextMenuSelect;

private:
    QByteArray deletionTarget();
    void reportMissing();
    const std::optional<FindData>& findData();
    const std::optional<ShellLocation>& objectPlace();
    const ObjectFacts& objectFacts();

    QByteArray m_folderPath; // ends in "/" unless empty (virtual folders)
    TIdList m_folderList;
    std::shared_ptr<ShellFolderObject> m_shellFolder;
    TIdList m_objectList;
    std::optional<TIdList> m_absoluteObjectList;
    std::unique_ptr<EnumIDList> m_enumerator;
    bool m_fileSystemOnly = false;
    TFileNames m_multiObjects;
    QStringList m_filterPatterns;
    // Caches of the current object, dropped whenever it changes; outer: loaded at all.
    std::optional<std::optional<FindData>> m_findData;
    std::optional<std::optional<ShellLocation>> m_place;
    std::optional<ObjectFacts> m_facts;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_readOnly = false;
    bool m_showErrorMessages = true;
    bool m_showContextMenuOnTop = false;
    int m_lastError = 0;
    QByteArray m_missingName; // the name GetUIObject last failed to find
    TContextMenuPresenter* m_presenter = nullptr;
    TShellCommandHost* m_commandHost = nullptr;
    // While a context menu is shown: its handler and its menu.
    TContextMenuHandler* m_menuHandler = nullptr;
    const TShellMenu* m_menu = nullptr;
    std::optional<fileops::OperationReport> m_lastReport;
    QString m_lastVerb;
};

} // namespace shell
