// The lower area of the main window: the contents of the folder selected in the tree,
// the check box that hides and shows them, and the splitter between the two.

#include "app/Application.h"
#include "app/MainForm.h"
#include "controls/ShellList.h"
#include "shell/ShellNavigator.h"
#include "ui_MainForm.h"

#include <QMessageBox>

void TMainForm::setupPane()
{
    TShellList* list = ui->ShellList1;
    list->BeginLoading();
    list->SetFileSystemOnly(true);
    list->SetFilter(QStringLiteral("*"));
    list->SetViewStyle(vsReport);
    list->SetRowSelect(true);
    list->SetAutoArrange(true);
    QFont font(QStringLiteral("Segoe UI"));
    font.setPixelSize(12);
    list->setFont(font);
    list->Loaded();
    // The tree takes whatever room the window gains; the label keeps its one line and
    // the lower area its height until the splitter moves.
    ui->Splitter1->setStretchFactor(0, 1);
    ui->Splitter1->setStretchFactor(1, 0);
    ui->Label2->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    SetListHeight(156);
    connect(ui->ShowFolder, &QCheckBox::clicked, this, &TMainForm::ShowFolderClick);
    m_errorDisplay = [this](const QString& message) {
        QMessageBox::critical(this, ApplicationTitle(), message);
    };
}

int TMainForm::ListHeight() const
{
    return ui->ShellList1->height();
}

void TMainForm::SetListHeight(int height)
{
    // The lower area holds the label and the list; the tree gets the rest.
    const QList<int> sizes = ui->Splitter1->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    const int lower = ui->Label2->sizeHint().height() + std::max(height, 1);
    if (total <= 0) { // not laid out yet: the list keeps this height from the start
        ui->Splitter1->setSizes({ui->TreeView1->sizeHint().height(), lower});
        return;
    }
    ui->Splitter1->setSizes({std::max(total - lower, 0), lower});
}

QByteArray TMainForm::NodeFolderName(std::int32_t entry) const
{
    return m_model.nodeName(entry);
}

QByteArray TMainForm::NodeFolderPath(std::int32_t entry) const
{
    QByteArray path;
    for (std::int32_t e = entry; e != 0; e = m_model.parentEntry(e)) {
        QByteArray name = NodeFolderName(e);
        if (!name.isEmpty() && !name.endsWith('/'))
            name += '/';
        path.prepend(name);
    }
    return path;
}

void TMainForm::TreeView1Change()
{
    const QModelIndex current = ui->TreeView1->currentIndex();
    if (!ui->ShowFolder->isChecked() || !current.isValid())
        return;
    const QByteArray path = NodeFolderPath(current.data(TFolderTreeModel::EntryRole).toInt());
    // The tree shows the new selection at once, also while its redrawing is suspended.
    if (ScanRunning())
        FlushTreeRedraw();
    try {
        ui->ShellList1->SetPathBytes(path);
    } catch (const shell::EShellNavigatorError& e) {
        // The list keeps the folder it showed.
        if (m_errorDisplay)
            m_errorDisplay(e.message());
    }
}

void TMainForm::ShowFolderClick()
{
    if (ui->ShowFolder->isChecked()) {
        if (m_savedListHeight <= 5)
            m_savedListHeight = 156;
        SetListHeight(m_savedListHeight);
    } else {
        m_savedListHeight = ListHeight();
        SetListHeight(1);
    }
}
