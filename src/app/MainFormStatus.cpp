// The main window's status bar: the scan's totals and the free space of the scanned
// volume, and the tree's periodic repaint during a scan.

#include "app/FolderSizeStore.h"
#include "app/MainForm.h"
#include "platform/NumberText.h"
#include "ui_MainForm.h"

#include <QLabel>

void TMainForm::setupStatusBar()
{
    QStatusBar* bar = ui->StatusBar1;
    bar->setFixedHeight(19);
    for (QLabel** panel : {&m_panel0, &m_panel1}) {
        *panel = new QLabel(bar);
        (*panel)->setFixedWidth(200);
        (*panel)->setFrameShape(QFrame::Panel);
        (*panel)->setFrameShadow(QFrame::Sunken);
        bar->addWidget(*panel);
    }
    m_panel0->setObjectName(QStringLiteral("StatusPanel0"));
    m_panel1->setObjectName(QStringLiteral("StatusPanel1"));
}

QString TMainForm::FreeSpaceText(std::uint64_t freeBytes)
{
    // Gigabytes are figured from whole mebibytes, megabytes from whole kibibytes.
    const std::uint64_t mebibytes = freeBytes / 1024 / 1024;
    if (mebibytes > 1024)
        return platform::fixed2(double(mebibytes) / 1024.0) + QStringLiteral(" GB frei");
    return platform::fixed2(double(freeBytes / 1024) / 1024.0) + QStringLiteral(" MB frei");
}

void TMainForm::Timer1Timer()
{
    if (m_store.FolderEntryCount() > 0) {
        m_panel1->setText(platform::fixed2(double(m_store.TotalBytesFound()) / 1024.0 / 1024.0) +
                          QStringLiteral(" MB in ") + QString::number(m_store.TotalFilesFound()) +
                          QStringLiteral(" Dateien"));
    }
    // A failed query is not repeated until the next scan starts.
    if (m_freeSpaceFailed) {
        m_panel0->clear();
        return;
    }
    // The answer comes from another thread; until it does, the panel keeps the last
    // one. A query that hangs is not asked again beside itself.
    m_freeSpaceProbe->ask(m_freeSpacePath, m_freeSpaceScan);
}

void TMainForm::FreeSpaceAnswered(std::uint64_t scan, std::optional<std::uint64_t> freeBytes)
{
    if (scan != m_freeSpaceScan || m_freeSpaceFailed)
        return;
    if (!freeBytes) {
        m_panel0->clear();
        m_freeSpaceFailed = true;
        return;
    }
    m_panel0->setText(FreeSpaceText(*freeBytes));
}

void TMainForm::SetFreeSpaceQuery(FreeSpaceQuery query)
{
    m_freeSpaceProbe->setQuery(std::move(query));
}

bool TMainForm::FreeSpaceWaiting() const
{
    return m_freeSpaceProbe->waiting();
}

void TMainForm::Timer2Timer()
{
    if (ScanRunning())
        FlushTreeRedraw();
}
