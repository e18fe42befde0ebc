#pragma once
// TDirectoryEdit is the field where the user states a folder: an edit field with a
// button at its right end that opens a folder chooser and writes the chosen folder
// into the field. Enter and Esc are left to the window (its default and cancel
// buttons). The parent widget owns the field; the field owns its button.

#include <QByteArray>
#include <QKeySequence>
#include <QLineEdit>
#include <QStringList>

#include <functional>

class QToolButton;

class TDirectoryEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString InitialDir READ InitialDir WRITE setInitialDir)
    Q_PROPERTY(bool DirectInput READ DirectInput WRITE setDirectInput)
    Q_PROPERTY(bool MultipleDirs READ MultipleDirs WRITE setMultipleDirs)
    Q_PROPERTY(bool AcceptFiles READ AcceptFiles WRITE setAcceptFiles)
public:
    // What the chooser answers: the chosen folder and whether the user confirmed.
    struct TChoice
    {
        QString Folder;
        bool Confirmed = false;
    };
    // Shows a folder chooser titled `title` at `startFolder`, owned by `parent`.
    using TChooser =
        std::function<TChoice(QWidget* parent, const QString& title, const QString& startFolder)>;

    explicit TDirectoryEdit(QWidget* parent = nullptr);
    ~TDirectoryEdit() override;

    static constexpr int ButtonWidth = 21;
    static QString DialogTitle();

    // The folder the chooser opens when the field is empty; "/" by default.
    QString InitialDir() const { return m_initialDir; }
    void setInitialDir(const QString& folder) { m_initialDir = folder; }
    // False makes the field read-only: the folder can then only be chosen.
    bool DirectInput() const { return m_directInput; }
    void setDirectInput(bool on);
    // Several folders joined by ";".
    bool MultipleDirs() const { return m_multipleDirs; }
    void setMultipleDirs(bool on) { m_multipleDirs = on; }
    // Files and folders dropped on the field set its text.
    bool AcceptFiles() const { return m_acceptFiles; }
    void setAcceptFiles(bool on);
    // The key that works like a click on the button; Alt+Down by default.
    QKeySequence ClickKey() const { return m_clickKey; }
    void setClickKey(const QKeySequence& key) { m_clickKey = key; }

    QToolButton* Button() const { return m_button; }

    // The path of the text as the file system records it, as raw bytes.
    QByteArray LongName() const;
    // The same built from each component's short name, which on Linux is its name.
    QByteArray ShortName() const;

    // What a click on the button does: events, chooser, text and InitialDir.
    void ButtonClick();
    // Where the chooser opens for the proposed folder.
    QString StartFolder(const QString& proposed) const;
    // Sets the text from dropped paths (only the first unless MultipleDirs; a file
    // counts as its folder), then fires OnDropFiles. Returns whether any path was taken.
    bool DropPaths(const QStringList& paths);

    // The events; each may be left empty.
    std::function<void()> OnButtonClick;
    // May change the proposed folder, or clear `action` to show no chooser.
    std::function<void(QString& folder, bool& action)> OnBeforeDialog;
    // May change the chosen folder and whether it counts as confirmed.
    std::function<void(QString& result, bool& confirmed)> OnAfterDialog;
    std::function<void(const QStringList& paths)> OnDropFiles;

    // The chooser every field uses; tests put an answering function here. An empty
    // function restores the standard folder dialog.
    static void setChooser(TChooser chooser);
    static TChoice ShowStandardChooser(QWidget* parent, const QString& title,
                                       const QString& startFolder);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool answerFileDrag(QDragMoveEvent* event);
    void applyChoice(const QString& folder);
    void placeButton();

    QToolButton* m_button;
    QString m_initialDir = QStringLiteral("/");
    QKeySequence m_clickKey{Qt::ALT | Qt::Key_Down};
    bool m_directInput = true;
    bool m_multipleDirs = false;
    bool m_acceptFiles = false;
};
