#include "app/AboutBox.h"

#include "ui_AboutBox.h"

#include "app/ProgramVersion.h"
#include "controls/ControlResources.h"
#include "controls/JpegImage.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QScreen>

#include <mutex>

namespace {

TAboutBox::TUrlOpener& urlOpener()
{
    static TAboutBox::TUrlOpener opener;
    return opener;
}

} // namespace

// Outside any namespace: the resource's registration function lives in the global one.
static void loadResources()
{
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(aboutbox); });
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>())
{
    loadResources();
    ui->setupUi(this);
    ui->ProductName->setText(QStringLiteral("Quornel Kehrmax " FEGMANN_VERSION));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    QPalette panel = ui->Panel1->palette();
    panel.setColor(QPalette::Window, QColor(240, 202, 166));
    ui->Panel1->setPalette(panel);
    QPalette heading = ui->ProductName->palette();
    heading.setColor(QPalette::WindowText, Qt::black);
    ui->ProductName->setPalette(heading);

    const QImage picture = TJpegImage::Load(QStringLiteral(":/fegmann/about.jpg"));
    if (!picture.isNull()) {
        ui->ProgramIcon->setPixmap(QPixmap::fromImage(picture));
        ui->ProgramIcon->resize(picture.size());
    }

    ui->BitBtnXP1->setText(HomePageText());
    TControlResources::EnsureLoaded();
    const QImage webGlyph(QStringLiteral(":/fegmann/glyphs/www.bmp"));
    if (webGlyph.isNull())
        qWarning("TAboutBox: the web button's glyph is missing");
    ui->BitBtnXP1->setGlyph(webGlyph);
    ui->BitBtnXP1->setNumGlyphs(2);
    connect(ui->BitBtnXP1, &QAbstractButton::clicked, this, &TAboutBox::BitBtnXP1Click);

    FormCreate();
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::showEvent(QShowEvent* event)
{
    // Centred on the screen, not over the window that opens it; placed here, when its
    // size is final and before it appears.
    if (const QScreen* screen =
            parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

QUrl TAboutBox::HomePageUrl()
{
    return QUrl(QStringLiteral("https://www.quornel.example/"));
}

QString TAboutBox::HomePageText()
{
    return QStringLiteral("www.quornel.example");
}

QString TAboutBox::InsertYear(const QString& text, const QDate& date)
{
    const qsizetype at = text.indexOf(QLatin1String("XXXX"));
    if (at < 0)
        return text;
    QString result = text;
    result.replace(at, 4, QString::number(date.year()));
    return result;
}

void TAboutBox::FormCreate()
{
    ui->Copyright->setText(InsertYear(ui->Copyright->text(), QDate::currentDate()));
}

bool TAboutBox::OpenHomePage()
{
    const TUrlOpener& open = urlOpener();
    return open ? open(HomePageUrl()) : QDesktopServices::openUrl(HomePageUrl());
}

void TAboutBox::setUrlOpener(TUrlOpener opener)
{
    urlOpener() = std::move(opener);
}

void TAboutBox::BitBtnXP1Click()
{
    OpenHomePage();
}
