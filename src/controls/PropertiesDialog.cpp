#include "controls/PropertiesDialog.h"
#include "platform/HandOver.h"

#include "fileops/NameRules.h"
#include "fileops/TrashStore.h"
#include "fileops/TreeMeasure.h"
#include "shell/ShellFolderObject.h"
#include "shell/ShellNavigator.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <sys/stat.h>

namespace {

QString bytesText(std::int64_t bytes)
{
    return QStringLiteral("%1 (%2 Bytes)").arg(shell::ByteSizeText(quint64(bytes))).arg(bytes);
}

QString countText(std::int64_t files, std::int64_t folders)
{
    return QStringLiteral("%1 %2, %3 Ordner")
        .arg(files)
        .arg(files == 1 ? QStringLiteral("Datei") : QStringLiteral("Dateien"))
        .arg(folders);
}

} // namespace

TPropertiesDialog::TPropertiesDialog(const shell::TFileNames& paths, QWidget* parent)
    : QDialog(parent), m_paths(paths)
{
    setObjectName(QStringLiteral("PropertiesDialog"));
    auto* layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    layout->addLayout(m_form);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    const QByteArray first = m_paths.value(0);
    bool anyFolder = false;
    for (const QByteArray& path : m_paths) {
        struct stat st;
        anyFolder = anyFolder || (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode));
    }
    if (m_paths.size() == 1) {
        // The namespace's own texts, as the list's columns show them.
        shell::TShellNavigator nav;
        nav.SetShowErrorMessages(false);
        QString name = QFile::decodeName(fileops::NameOf(first));
        const std::optional<fileops::TrashStore::Entry> trashed =
            fileops::TrashStore::entryOf(first);
        if (trashed && !trashed->originalPath.isEmpty())
            name = QFile::decodeName(fileops::NameOf(trashed->originalPath));
        setWindowTitle(QStringLiteral("Eigenschaften von „%1“").arg(name));
        addRow(QStringLiteral("Name"), name);
        bool found = true;
        try {
            nav.SetObjectNameBytes(first);
        } catch (const shell::EShellNavigatorError&) {
            found = false;
        }
        QString column;
        auto detail = [&](int k) {
            nav.DetailText(k, false, column);
            return column;
        };
        addRow(QStringLiteral("Typ"), found ? detail(2) : QStringLiteral("nicht mehr vorhanden"));
        addRow(QStringLiteral("Ort"), QFile::decodeName(fileops::ParentOf(first)));
        if (trashed) {
            addRow(QStringLiteral("Ursprünglicher Ort"),
                   QFile::decodeName(fileops::ParentOf(trashed->originalPath)));
            addRow(QStringLiteral("Gelöscht am"),
                   trashed->deletionDate.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        }
        m_size = addRow(QStringLiteral("Größe"), QStringLiteral("wird ermittelt …"));
        if (anyFolder) {
            m_contents = addRow(QStringLiteral("Inhalt"), QStringLiteral("wird ermittelt …"));
        }
        if (found) {
            addRow(QStringLiteral("Geändert am"), detail(3));
            addRow(QStringLiteral("Erstellt am"), detail(4));
            addRow(QStringLiteral("Besitzer"), detail(5));
            addRow(QStringLiteral("Berechtigungen"), detail(6));
        }
    } else {
        setWindowTitle(QStringLiteral("Eigenschaften"));
        addRow(QStringLiteral("Name"), QStringLiteral("%1 Objekte").arg(m_paths.size()));
        const QByteArray folder = fileops::ParentOf(first);
        bool oneFolder = true;
        for (const QByteArray& path : m_paths)
            oneFolder = oneFolder && fileops::ParentOf(path) == folder;
        addRow(QStringLiteral("Ort"),
               oneFolder ? QFile::decodeName(folder) : QStringLiteral("verschiedene Ordner"));
        m_size = addRow(QStringLiteral("Größe"), QStringLiteral("wird ermittelt …"));
        m_contents = addRow(QStringLiteral("Inhalt"), QStringLiteral("wird ermittelt …"));
    }

    // Counting a large folder takes a while: the dialog is there meanwhile.
    m_worker = std::thread([this, paths = m_paths] {
        std::int64_t bytes = 0, files = 0, folders = 0;
        bool complete = true;
        for (const QByteArray& path : paths) {
            struct stat st;
            if (::lstat(path.constData(), &st) != 0) {
                complete = false;
                continue;
            }
            const fileops::TreeTotals t = fileops::MeasureTree(path, &m_stop);
            if (m_stop.load(std::memory_order_relaxed))
                return;
            bytes += t.bytes;
            files += t.files;
            folders += t.folders + (S_ISDIR(st.st_mode) ? 1 : 0);
            complete = complete && t.complete;
        }
        platform::HandOver(this, [this, bytes, files, folders, complete] {
            showTotals(bytes, files, folders, complete);
        });
    });
}

TPropertiesDialog::~TPropertiesDialog()
{
    m_stop.store(true, std::memory_order_relaxed);
    if (m_worker.joinable())
        m_worker.join();
}

QLabel* TPropertiesDialog::addRow(const QString& caption, const QString& value)
{
    auto* label = new QLabel(value, this);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setObjectName(caption);
    m_form->addRow(caption + u':', label);
    return label;
}

QString TPropertiesDialog::Value(const QString& caption) const
{
    const auto* label = findChild<QLabel*>(caption);
    return label ? label->text() : QString();
}

void TPropertiesDialog::showTotals(std::int64_t bytes, std::int64_t files, std::int64_t folders,
                                   bool complete)
{
    const QString atLeast = complete ? QString() : QStringLiteral("mindestens ");
    if (m_size)
        m_size->setText(atLeast + bytesText(bytes));
    if (m_contents) {
        // A single folder does not count itself.
        const std::int64_t shownFolders = m_paths.size() == 1 ? folders - 1 : folders;
        m_contents->setText(atLeast + countText(files, std::max<std::int64_t>(shownFolders, 0)));
    }
    m_measured = true;
    emit measured();
}
