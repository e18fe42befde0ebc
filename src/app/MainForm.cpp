#include "app/MainForm.h"

#include "app/AboutBox.h"
#include "app/FolderSizeStore.h"
#include "app/MyThread.h"
#include "app/ProgramVersion.h"
#include "controls/ButtonGlyph.h"
#include "platform/VolumeSpace.h"
#include "shell/SystemImageList.h"
#include "ui_MainForm.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <unistd.h>

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()), m_store(FolderStore()),
      m_model(m_store)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Quornel Kehrmax " FEGMANN_VERSION));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    FontDialog2 = font;
    FontDialog1 = font;
    FontDialog1.setBold(true);
    // The tree takes whatever room the window gains; the label keeps its one line and
    // the lower area its height until the splitter moves.
    ui->Splitter1->setStretchFactor(0, 1);
    ui->Splitter1->setStretchFactor(1, 0);
    ui->Label2->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    ui->Panel7->installEventFilter(this);
    ui->ueberbtn->LoadPictures(QStringLiteral(":/fegmann/ueberbtn.gif"),
                               QStringLiteral(":/fegmann/ueberbtn2.gif"));
    ui->endebtn->LoadPictures(QStringLiteral(":/fegmann/endebtn.gif"),
                              QStringLiteral(":/fegmann/endebtn2.gif"));
    // The web button shows the up image of the web glyph beside the address.
    TButtonGlyph webGlyph;
    webGlyph.setGlyph(QImage(QStringLiteral(":/fegmann/glyphs/www.bmp")));
    webGlyph.setNumGlyphs(2);
    ui->wwwBtn->setIcon(QPixmap::fromImage(
        webGlyph.StateImage(bsUp, TBitBtnXP::GlyphColors(ui->wwwBtn->palette()))));
    ui->wwwBtn->setText(TAboutBox::HomePageText());

    SystemImageList1 = new shell::TSystemImageList(this);
    SystemImageList1->setObjectName(QStringLiteral("SystemImageList1"));
    SystemImageList1->SetShareImages(true);
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(1000);
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setInterval(2000);
    m_freeSpaceProbe = new platform::FreeSpaceProbe(
        [](const QByteArray& path) { return platform::freeBytes(path); },
        [this](std::uint64_t scan, std::optional<std::uint64_t> freeBytes) {
            FreeSpaceAnswered(scan, freeBytes);
        },
        this);

    setupTree();
    setupStatusBar();
    setupPane();
    setupCleanup();

    connect(ui->BitBtn1, &QPushButton::clicked, this, &TMainForm::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &TMainForm::BitBtn2Click);
    connect(ui->Sort1, &QRadioButton::clicked, this, &TMainForm::Sort1Click);
    connect(ui->Sort2, &QRadioButton::clicked, this, &TMainForm::Sort2Click);
    connect(ui->wwwBtn, &QToolButton::clicked, this, &TMainForm::wwwBtnClick);
    connect(ui->ueberbtn, &TImageBtn::clicked, this, &TMainForm::ueberbtnClick);
    connect(ui->endebtn, &TImageBtn::clicked, this, &TMainForm::endebtnClick);
    connect(&Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    connect(&Timer2, &QTimer::timeout, this, &TMainForm::Timer2Timer);
    connect(&m_model, &TFolderTreeModel::scanStarted, this, &TMainForm::onScanStarted);
    connect(&m_model, &TFolderTreeModel::topLevelFolderAdded, this,
            &TMainForm::onTopLevelFolderAdded);
    connect(&m_model, &TFolderTreeModel::scanFinished, this, &TMainForm::onScanFinished);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
    Timer1.start();
    Timer2.start();
}

TMainForm::~TMainForm()
{
    // The controls outlive the form's own members by a little; nothing may reach
    // the filter then.
    ui->Panel7->removeEventFilter(this);
    ui->TreeView1->viewport()->removeEventFilter(this);
}

bool TMainForm::ScanRunning() const
{
    return !ui->BitBtn1->isEnabled();
}

void TMainForm::FormCreate()
{
    m_freeSpacePath = QByteArrayLiteral("/");
}

void TMainForm::BitBtn1Click()
{
    const int folderIcon = shell::TSystemImageList::GetFolderIconIndex(false);
    m_model.setFolderIcon(QIcon(QPixmap::fromImage(SystemImageList1->Image(folderIcon))));
    if (!m_model.StartScan(ui->DirectoryEdit1->text()))
        return;
    ui->BitBtn1->setEnabled(false);
    ui->BitBtn2->setEnabled(true);
    BeginTreeUpdate();
}

void TMainForm::BitBtn2Click()
{
    m_model.CancelScan();
    m_model.CancelRefresh();
}

void TMainForm::onScanStarted(const QByteArray& scanPath)
{
    m_freeSpaceFailed = false;
    m_freeSpacePath = scanPath;
    ++m_freeSpaceScan;
}

void TMainForm::onTopLevelFolderAdded()
{
    const QModelIndex root = m_model.index(0, 0);
    if (!ui->TreeView1->isExpanded(root))
        ui->TreeView1->expand(root);
    // The tree is repainted as each subfolder of the root begins, but not more often
    // than a person can see: a repaint lays out every row that is shown, and the
    // root of a wide tree has a great many of them.
    if (m_topLevelFlushPending)
        return;
    m_topLevelFlushPending = true;
    const qint64 wait =
        m_lastTopLevelFlush.isValid() ? kTopLevelFlushSpacingMs - m_lastTopLevelFlush.elapsed() : 0;
    QTimer::singleShot(std::max<qint64>(wait, 0), this, [this] {
        m_topLevelFlushPending = false;
        m_lastTopLevelFlush.start();
        if (ScanRunning())
            FlushTreeRedraw();
    });
}

void TMainForm::onScanFinished()
{
    EndTreeUpdate();
    ui->BitBtn1->setEnabled(true);
    ui->BitBtn2->setEnabled(false);
}

void TMainForm::BeginTreeUpdate()
{
    if (m_treeUpdateCount++ == 0)
        ui->TreeView1->setUpdatesEnabled(false);
}

void TMainForm::EndTreeUpdate()
{
    if (m_treeUpdateCount == 0 || --m_treeUpdateCount > 0)
        return;
    ui->TreeView1->setUpdatesEnabled(true);
    widenTreeColumn();
    ui->TreeView1->repaint();
}

void TMainForm::FlushTreeRedraw()
{
    if (m_treeUpdateCount == 0)
        return;
    EndTreeUpdate();
    BeginTreeUpdate();
}

void TMainForm::wwwBtnClick()
{
    TAboutBox::OpenHomePage();
}

void TMainForm::ueberbtnClick()
{
    TAboutBox box(this);
    box.exec();
}

void TMainForm::endebtnClick()
{
    close();
}

void TMainForm::FormClose()
{
    // The walk is told to stop and left to end by itself; nothing here waits for it.
    // The window stays alive until the event loop ends, but takes nothing more from
    // the walk, so that no end-of-scan step runs after the close.
    if (ScanRunning())
        m_model.AbandonScan();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // The picture buttons' panel stays at the right end of the bottom panel.
    if (watched == ui->Panel7 && event->type() == QEvent::Resize)
        ui->Panel8->move(ui->Panel7->width() - ui->Panel8->width(), 0);
    if (watched == ui->TreeView1->viewport() && event->type() == QEvent::Resize)
        widenTreeColumn();
    return QMainWindow::eventFilter(watched, event);
}

int TMainForm::RunProgram(TMainForm& form)
{
    form.show();
    const int exitCode = QCoreApplication::exec();
    if (!form.ScanThread().expired() || form.TreeModel().Refreshing()) {
        // The scan and a refresh keep only their own data and the process-wide store,
        // which is never destroyed; ending the process here does not wait for a walk.
        std::fflush(nullptr);
        ::_exit(exitCode);
    }
    return exitCode;
}
