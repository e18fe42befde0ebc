// The system image list: the shared process-wide table, sizes, copies, icon indexes of
// paths that exist and of names that do not, the theme offscreen, and icons in frames.

#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"
#include "shell/SystemIconTable.h"
#include "shell/SystemImageList.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace shell;

class TestImageList : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void themeResolvesOffscreen();
    void fileTypeIcons_data();
    void fileTypeIcons();
    void sharesSmallListFirst();
    void sharedSeesNewIconsCopyDoesNot();
    void destroyingSharedKeepsTable();
    void folderIcons_data();
    void folderIcons();
    void drawingStyleAndBackground_data();
    void drawingStyleAndBackground();
    void iconIndexOfPaths();
    void navigatorUsesSameIndexes();
    void drawnFallback();
    void iconInFrame_data();
    void iconInFrame();

private:
    QTemporaryDir m_dir;
    QByteArray m_base;
};

void TestImageList::initTestCase()
{
    QVERIFY(ShellStartup());
    QVERIFY(ShellStartup()); // twice: no further effect
    QVERIFY(ShellIsStarted());
    m_base = QFile::encodeName(m_dir.path());
    QFile f(m_dir.filePath("notes.txt"));
    QVERIFY(f.open(QIODevice::WriteOnly));
}

void TestImageList::themeResolvesOffscreen()
{
    QVERIFY(!QIcon::themeName().isEmpty());
    QVERIFY(QIcon::hasThemeIcon(QStringLiteral("folder")));
    const int folder = TSystemImageList::GetFolderIconIndex(false);
    QCOMPARE(SystemIconTable::instance().name(folder), QStringLiteral("folder"));
    const QImage img = SystemIconTable::instance().image(folder, 16);
    QCOMPARE(img.size(), QSize(16, 16));
}

void TestImageList::fileTypeIcons_data()
{
    QTest::addColumn<bool>("underX");
    QTest::newRow("this platform") << false;
    // Qt reports the theme "hicolor" there, which has no icons of file types.
    QTest::newRow("X server without a desktop") << true;
}

void TestImageList::fileTypeIcons()
{
    // Files get their type's icon from the theme, not the drawn stand-in.
    QFETCH(bool, underX);
    if (underX) {
        if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
            QSKIP("xvfb-run is needed (Debian package xvfb)");
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION",
                                 "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("FEGMANN_EXPECT_PLATFORM"), QStringLiteral("xcb"));
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QStringLiteral("xvfb-run"),
                  {QStringLiteral("-a"), QStringLiteral("-s"),
                   QStringLiteral("-screen 0 800x600x24"), QCoreApplication::applicationFilePath(),
                   QStringLiteral("fileTypeIcons:this platform")});
        QVERIFY(run.waitForFinished(60000));
        const QByteArray output = run.readAll();
        QVERIFY2(run.exitCode() == 0, output.constData());
        QVERIFY2(output.contains("PASS   : TestImageList::fileTypeIcons(this platform)"),
                 output.constData());
        return;
    }
    const QString expected = qEnvironmentVariable("FEGMANN_EXPECT_PLATFORM");
    if (!expected.isEmpty())
        QCOMPARE(QGuiApplication::platformName(), expected);
    for (const char* name : {"notes.txt", "bild.png", "archiv.zip"}) {
        const QByteArray path = m_base + '/' + name;
        QFile f(QFile::decodeName(path));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const int index = TSystemImageList::GetIconIndex(path, si_small, false, false);
        const QString icon = SystemIconTable::instance().name(index);
        QVERIFY2(!icon.startsWith(u"fallback:"), qPrintable(QIcon::themeName() + u' ' + icon));
    }
}

void TestImageList::sharesSmallListFirst()
{
    TSystemImageList list;
    QVERIFY(list.ShareImages());
    QCOMPARE(list.Size(), si_small);
    const int folder = TSystemImageList::GetFolderIconIndex(false);
    QCOMPARE(list.Image(folder).size(), QSize(16, 16));
    QSignalSpy changed(&list, &TSystemImageList::OnChange);
    list.SetSize(si_large);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(list.Width(), 32);
    QCOMPARE(list.Image(folder).size(), QSize(32, 32));
    QVERIFY(list.Image(-1).isNull());
    QVERIFY(list.Image(list.Count()).isNull());
}

void TestImageList::sharedSeesNewIconsCopyDoesNot()
{
    TSystemImageList shared;
    TSystemImageList copy;
    copy.SetShareImages(false);
    const int before = copy.Count();
    QCOMPARE(shared.Count(), before);
    const int added = SystemIconTable::instance().indexFor({QStringLiteral("unheard-of-icon-1")});
    QCOMPARE(added, before);
    QCOMPARE(shared.Count(), before + 1);
    QCOMPARE(copy.Count(), before);
    QVERIFY(copy.Image(added).isNull());
    copy.SetSize(si_small); // rebuilding takes the new one in
    QCOMPARE(copy.Count(), before + 1);
    QCOMPARE(copy.Image(added), shared.Image(added));
}

void TestImageList::destroyingSharedKeepsTable()
{
    const int folder = TSystemImageList::GetFolderIconIndex(false);
    const int count = SystemIconTable::instance().count();
    {
        TSystemImageList gone;
        QVERIFY(!gone.Image(folder).isNull());
    }
    TSystemImageList other;
    QCOMPARE(other.Count(), count);
    QVERIFY(!other.Image(folder).isNull());
}

void TestImageList::folderIcons_data()
{
    QTest::addColumn<QByteArray>("tmpdir");
    QTest::newRow("ordinary") << QByteArray();
    QTest::newRow("a mount point") << QByteArray("/");
    QTest::newRow("missing") << QByteArray("/no/such/temporary/folder");
}

void TestImageList::folderIcons()
{
    // The generic folder icon is an ordinary folder's, wherever the temporary folder is.
    QFETCH(QByteArray, tmpdir);
    const QByteArray saved = qgetenv("TMPDIR");
    if (tmpdir.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", tmpdir);
    const int closed = TSystemImageList::GetFolderIconIndex(false);
    const int open = TSystemImageList::GetFolderIconIndex(true);
    qputenv("TMPDIR", saved);
    QCOMPARE(SystemIconTable::instance().name(closed), QStringLiteral("folder"));
    QCOMPARE(SystemIconTable::instance().name(open), QStringLiteral("folder-open"));
}

void TestImageList::drawingStyleAndBackground_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<bool>("tinted");
    QTest::newRow("normal, no colour") << int(dsNormal) << QColor() << false;
    QTest::newRow("normal, green") << int(dsNormal) << QColor(Qt::green) << false;
    QTest::newRow("transparent ignores colour") << int(dsTransparent) << QColor(Qt::green) << false;
    QTest::newRow("focus") << int(dsFocus) << QColor() << true;
    QTest::newRow("selected") << int(dsSelected) << QColor() << true;
}

void TestImageList::drawingStyleAndBackground()
{
    QFETCH(int, style);
    QFETCH(QColor, background);
    QFETCH(bool, tinted);
    TSystemImageList list;
    QCOMPARE(list.DrawingStyle(), dsNormal);
    QVERIFY(!list.BkColor().isValid());
    QSignalSpy changed(&list, &TSystemImageList::OnChange);
    list.SetDrawingStyle(TDrawingStyle(style));
    list.SetBkColor(background);
    QCOMPARE(changed.size(), int(style != dsNormal) + int(background.isValid()));
    // A drawn picture: transparent outside its sheet, opaque inside.
    const int file = SystemIconTable::instance().indexFor({QStringLiteral("no-such-icon-here")});
    const QImage plain = list.Image(file);
    QImage canvas(16, 16, QImage::Format_ARGB32);
    canvas.fill(Qt::red);
    QPainter painter(&canvas);
    list.Draw(painter, 0, 0, file);
    painter.end();
    const bool paintsBehind = background.isValid() && style != dsTransparent;
    QCOMPARE(canvas.pixelColor(0, 0), paintsBehind ? background : QColor(Qt::red));
    QCOMPARE(canvas.pixelColor(6, 6) != plain.pixelColor(6, 6), tinted);
}

void TestImageList::iconIndexOfPaths()
{
    const QByteArray existing = m_base + "/notes.txt";
    const QByteArray missing = m_base + "/missing.txt";
    const int file = TSystemImageList::GetIconIndex(existing, si_small, false, false);
    QVERIFY(file >= 0);
    QCOMPARE(TSystemImageList::GetIconIndex(missing, si_small, false, false), -1);
    QCOMPARE(TSystemImageList::GetIconIndex(missing, si_large, false, true), file);
    QCOMPARE(TSystemImageList::GetIconIndex("", si_small, false, false), -1);
    // A folder's path with useAttributes is treated as a plain file of that name.
    const int asFile = TSystemImageList::GetIconIndex(m_base, si_small, false, true);
    QVERIFY(asFile != TSystemImageList::GetFolderIconIndex(false));
    const int drive = TSystemImageList::GetIconIndex("/", si_small, false, false);
    QVERIFY(drive >= 0);
    QVERIFY(drive != TSystemImageList::GetFolderIconIndex(false));
}

void TestImageList::navigatorUsesSameIndexes()
{
    TShellNavigator nav;
    nav.SetFolderPath(m_base);
    nav.SetObjectNameBytes("notes.txt");
    QCOMPARE(nav.ObjectIconIndex(),
             TSystemImageList::GetIconIndex(m_base + "/notes.txt", si_small, false, false));
    nav.SetObjectNameBytes({});
    QCOMPARE(nav.ObjectIconIndex(), -1);
}

void TestImageList::drawnFallback()
{
    auto& table = SystemIconTable::instance();
    const int file = table.indexFor({QStringLiteral("no-such-icon-anywhere")});
    const int folder = table.indexFor({QStringLiteral("folder-no-such-variant")});
    QCOMPARE(table.name(file), QStringLiteral("fallback:file"));
    QCOMPARE(table.name(folder), QStringLiteral("fallback:folder"));
    QCOMPARE(table.indexFor({QStringLiteral("another-unknown-one")}), file);
    const QImage img = table.image(file, 32);
    QCOMPARE(img.size(), QSize(32, 32));
    QCOMPARE(img.pixelColor(8, 8), QColor(Qt::white)); // inside the sheet
    QCOMPARE(img.pixelColor(0, 0).alpha(), 0);         // outside it
    QVERIFY(table.image(folder, 16) != table.image(file, 16));
    QCOMPARE(table.indexFor({}), -1);
}

void TestImageList::iconInFrame_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QPoint>("at");
    QTest::newRow("100x100") << 100 << 100 << QPoint(34, 34);
    QTest::newRow("odd") << 101 << 61 << QPoint(34, 14);
    QTest::newRow("smaller than icon") << 20 << 20 << QPoint(-6, -6);
}

void TestImageList::iconInFrame()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QPoint, at);
    TSystemImageList large;
    large.SetSize(si_large);
    const int index = TSystemImageList::GetFolderIconIndex(false);
    const QImage frame = TSystemImageList::IconInFrame(large, height, width, index);
    QCOMPARE(frame.size(), QSize(width, height));
    const QColor silver(0xc0, 0xc0, 0xc0);
    if (at.x() > 0) { // a frame smaller than the icon is drawn over by it
        QCOMPARE(frame.pixelColor(0, 0), silver);
        QCOMPARE(frame.pixelColor(width - 1, height - 1), silver);
        QCOMPARE(frame.pixelColor(width / 2, height - 1), silver);
    }
    // The icon drawn over white at the expected place, nothing else inside.
    QImage expected(width, height, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::white);
    {
        QPainter p(&expected);
        p.setPen(silver);
        p.drawRect(0, 0, width - 1, height - 1);
        p.drawImage(at, large.Image(index));
    }
    QCOMPARE(frame, expected);
    QVERIFY(TSystemImageList::IconInFrame(large, 0, 10, index).isNull());
    // An index without an image gives the empty frame.
    const QImage empty = TSystemImageList::IconInFrame(large, 50, 50, 100000);
    QCOMPARE(empty.pixelColor(25, 25), QColor(Qt::white));
}

QTEST_MAIN(TestImageList)
#include "tst_imagelist.moc"
