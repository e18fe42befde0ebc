#include "controls/DirectoryEdit.h"

#include "controls/ControlResources.h"
#include "platform/PathNames.h"
#include "shell/ShellPaths.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>

namespace {

TDirectoryEdit::TChooser& chooser()
{
    static TDirectoryEdit::TChooser current;
    return current;
}

bool isFolder(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QStringList localPaths(const QMimeData* mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls())
        if (shell::IsLocalFileUrl(url))
            paths << url.toLocalFile();
    return paths;
}

} // namespace

TDirectoryEdit::TDirectoryEdit(QWidget* parent) : QLineEdit(parent), m_button(new QToolButton(this))
{
    TControlResources::EnsureLoaded();
    m_button->setIcon(QIcon(QStringLiteral(":/fegmann/folderbtn.png")));
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCursor(Qt::ArrowCursor);
    m_button->setAutoRaise(false);
    m_button->setToolTip(DialogTitle());
    connect(m_button, &QToolButton::clicked, this, &TDirectoryEdit::ButtonClick);
    // Typed text must not run under the button.
    setTextMargins(0, 0, ButtonWidth, 0);
    placeButton();
}

TDirectoryEdit::~TDirectoryEdit() = default;

QString TDirectoryEdit::DialogTitle()
{
    return QStringLiteral("Verzeichnis auswählen");
}

void TDirectoryEdit::setDirectInput(bool on)
{
    m_directInput = on;
    setReadOnly(!on);
}

void TDirectoryEdit::setAcceptFiles(bool on)
{
    m_acceptFiles = on;
}

QByteArray TDirectoryEdit::LongName() const
{
    return platform::LongFormPath(QFile::encodeName(text()));
}

QByteArray TDirectoryEdit::ShortName() const
{
    return LongName();
}

void TDirectoryEdit::setChooser(TChooser c)
{
    chooser() = std::move(c);
}

TDirectoryEdit::TChoice TDirectoryEdit::ShowStandardChooser(QWidget* parent, const QString& title,
                                                            const QString& startFolder)
{
    QFileDialog dialog(parent, title, startFolder);
    // Qt's own dialog, so that it shows the labels below wherever the program runs.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("&Verzeichnisse:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Verzeichnis&name:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("&Dateien: (*.*)"));
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
    // Qt gives only the name field's label a buddy, and a label without one shows its
    // "&" instead of marking the access key.
    for (const auto& [label, field] :
         {std::pair{"lookInLabel", "lookInCombo"}, std::pair{"fileTypeLabel", "fileTypeCombo"}}) {
        auto* caption = dialog.findChild<QLabel*>(QLatin1String(label));
        auto* buddy = dialog.findChild<QWidget*>(QLatin1String(field));
        if (caption && buddy && !caption->buddy())
            caption->setBuddy(buddy);
    }
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Choosing a folder must not create, rename or delete one.
    dialog.setOption(QFileDialog::ReadOnly);
    TChoice choice;
    choice.Confirmed = dialog.exec() == QDialog::Accepted;
    if (choice.Confirmed)
        choice.Folder = dialog.selectedFiles().value(0);
    return choice;
}

QString TDirectoryEdit::StartFolder(const QString& proposed) const
{
    QString folder = proposed;
    if (folder.isEmpty())
        folder = m_initialDir.isEmpty() ? QStringLiteral("/") : m_initialDir;
    if (!isFolder(folder))
        folder = QStringLiteral("/");
    return folder;
}

void TDirectoryEdit::ButtonClick()
{
    if (OnButtonClick)
        OnButtonClick();
    QString proposed = text();
    bool action = true;
    if (OnBeforeDialog)
        OnBeforeDialog(proposed, action);
    if (!action)
        return;
    const QString start = StartFolder(proposed);

    const TChooser& show = chooser();
    TChoice choice =
        show ? show(this, DialogTitle(), start) : ShowStandardChooser(this, DialogTitle(), start);

    if (isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus)
        setFocus(Qt::OtherFocusReason);
    if (OnAfterDialog)
        OnAfterDialog(choice.Folder, choice.Confirmed);
    if (choice.Confirmed)
        applyChoice(choice.Folder);
}

void TDirectoryEdit::applyChoice(const QString& folder)
{
    if (m_multipleDirs && !text().isEmpty())
        setText(folder + QLatin1Char(';') + text());
    else
        setText(folder);
    if (isFolder(folder))
        m_initialDir = folder;
}

bool TDirectoryEdit::DropPaths(const QStringList& paths)
{
    if (paths.isEmpty())
        return false;
    QStringList taken = m_multipleDirs ? paths : paths.mid(0, 1);
    for (QString& path : taken) {
        const QFileInfo info(path);
        if (info.exists() && !info.isDir())
            path = info.absolutePath();
    }
    applyChoice(taken.join(QLatin1Char(';')));
    if (OnDropFiles)
        OnDropFiles(paths);
    return true;
}

void TDirectoryEdit::keyPressEvent(QKeyEvent* event)
{
    if (m_button->isVisible() && !m_clickKey.isEmpty() &&
        QKeySequence(event->keyCombination()) == m_clickKey) {
        event->accept();
        ButtonClick();
        return;
    }
    // Enter and Esc belong to the window's default and cancel buttons; the edit field
    // passes them on as long as it does not accept them.
    QLineEdit::keyPressEvent(event);
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter)
        event->ignore();
}

void TDirectoryEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    placeButton();
}

void TDirectoryEdit::placeButton()
{
    // The button fills a 21-pixel column inside the field's 2-pixel frame: 21 x 17 in
    // a field 21 pixels high.
    const int frame = 2;
    m_button->setGeometry(width() - frame - ButtonWidth, frame, ButtonWidth,
                          std::max(0, height() - 2 * frame));
}

bool TDirectoryEdit::answerFileDrag(QDragMoveEvent* event)
{
    // Files offered to the field are taken or refused here; anything else is text
    // for the edit to handle.
    if (localPaths(event->mimeData()).isEmpty())
        return false;
    if (m_acceptFiles)
        event->acceptProposedAction();
    else
        event->ignore();
    return true;
}

void TDirectoryEdit::dragEnterEvent(QDragEnterEvent* event)
{
    if (!answerFileDrag(event))
        QLineEdit::dragEnterEvent(event);
}

void TDirectoryEdit::dragMoveEvent(QDragMoveEvent* event)
{
    if (!answerFileDrag(event))
        QLineEdit::dragMoveEvent(event);
}

void TDirectoryEdit::dropEvent(QDropEvent* event)
{
    const QStringList paths = localPaths(event->mimeData());
    if (!paths.isEmpty()) {
        if (m_acceptFiles && DropPaths(paths))
            event->acceptProposedAction();
        else
            event->ignore();
        return;
    }
    QLineEdit::dropEvent(event);
}
