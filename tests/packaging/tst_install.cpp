// The program as it is installed: `cmake --install` into a temporary prefix puts down
// exactly the program's files, Debian's validators find nothing wrong with the menu
// entry and the AppStream data, the names in them are those of the installed files and
// the program's version, and the installed binary answers its two arguments and
// ignores all others.
#include "app/AboutBox.h"
#include "app/ProgramVersion.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString AppId = QStringLiteral(FEGMANN_APP_ID);

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs without a display: what is checked here must not need one.
Run run(const QString& program, const QStringList& arguments, const QString& outputFile = QString())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    p.setProcessEnvironment(env);
    if (!outputFile.isEmpty())
        p.setStandardOutputFile(outputFile);
    p.start(program, arguments);
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installsExactlyItsFiles();
    void iconsHaveTheirSizes();
    void validatorsFindNothing_data();
    void validatorsFindNothing();
    void entriesName_data();
    void entriesName();
    void answersItsArguments_data();
    void answersItsArguments();
    void startsAndNamesIgnoredArguments();

private:
    QString path(const QString& relative) const { return m_prefix.filePath(relative); }
    QString readText(const QString& relative) const
    {
        QFile f(path(relative));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    QTemporaryDir m_prefix;
    // Every size the hicolor theme's menus and software centres ask for.
    const QList<int> m_iconSizes{16, 22, 24, 32, 48, 64, 128, 256};
    QString m_desktop = QStringLiteral("share/applications/") + AppId + QStringLiteral(".desktop");
    QString m_metainfo =
        QStringLiteral("share/metainfo/") + AppId + QStringLiteral(".metainfo.xml");
};

void TestInstall::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    const Run install = run(QStringLiteral(FEGMANN_CMAKE),
                            {QStringLiteral("--install"), QStringLiteral(FEGMANN_BUILD_DIR),
                             QStringLiteral("--prefix"), m_prefix.path()});
    QVERIFY2(install.exitCode == 0, qPrintable(install.out + install.err));
}

void TestInstall::installsExactlyItsFiles()
{
    QStringList expected{
        QStringLiteral("bin/fegmann"),
        m_desktop,
        m_metainfo,
        QStringLiteral("share/icons/hicolor/scalable/apps/") + AppId + QStringLiteral(".svg"),
        QStringLiteral("share/doc/fegmann/copyright"),
        QStringLiteral("share/doc/fegmann/changelog.gz"),
        QStringLiteral("share/man/man1/fegmann.1.gz"),
    };
    for (int size : m_iconSizes)
        expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId);
    QStringList found;
    QDirIterator it(m_prefix.path(), QDir::Files | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(m_prefix.path()).relativeFilePath(it.next());
    expected.sort();
    found.sort();
    QCOMPARE(found, expected);
    QVERIFY(QFileInfo(path(QStringLiteral("bin/fegmann"))).isExecutable());
}

void TestInstall::iconsHaveTheirSizes()
{
    for (int size : m_iconSizes) {
        const QString name =
            QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId);
        const QImage icon(path(name));
        QCOMPARE(icon.size(), QSize(size, size));
        // Drawn on a transparent ground, so that it sits on any panel colour.
        QVERIFY2(icon.hasAlphaChannel() && qAlpha(icon.pixel(size - 1, size / 2)) < 255,
                 qPrintable(name));
        // The README shows the copies in docs/: they must be these pictures.
        if (size == 16 || size == 48) {
            const QImage shown(QStringLiteral(FEGMANN_SOURCE_DIR "/docs/icon-%1.png").arg(size));
            QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32),
                     icon.convertToFormat(QImage::Format_ARGB32));
        }
    }
    const QString svg = readText(QStringLiteral("share/icons/hicolor/scalable/apps/") + AppId +
                                 QStringLiteral(".svg"));
    QVERIFY(svg.contains(QLatin1String("viewBox=\"0 0 256 256\"")));
}

void TestInstall::validatorsFindNothing_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    QTest::newRow("menu entry") << "desktop-file-validate" << QStringList() << m_desktop;
    QTest::newRow("AppStream data")
        << "appstreamcli" << QStringList{"validate", "--no-net"} << m_metainfo;
}

void TestInstall::validatorsFindNothing()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    const QString program = QStandardPaths::findExecutable(tool);
    QVERIFY2(!program.isEmpty(),
             qPrintable(tool + QStringLiteral(" is missing: run scripts/setup")));
    const Run r = run(program, arguments << path(file));
    const QString report = r.out + r.err;
    QVERIFY2(r.exitCode == 0, qPrintable(report));
    // desktop-file-validate writes "FILE: error: ...", "FILE: warning: ..." and
    // "FILE: hint: ..." (a hint too puts the entry in the wrong menus), appstreamcli
    // "E: ..." and "W: ...".
    static const QRegularExpression complaint(QStringLiteral("(: (error|warning|hint):|^[EW]: )"),
                                              QRegularExpression::MultilineOption);
    QVERIFY2(!complaint.match(report).hasMatch(), qPrintable(report));
}

void TestInstall::entriesName_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("value"); // empty: any text but none
    const QString desktop = m_desktop;
    const QString meta = m_metainfo;
    // The menu starts the installed program and shows the installed icon.
    QTest::newRow("Exec") << desktop << "^Exec=(.*)$"
                          << "fegmann";
    QTest::newRow("Icon") << desktop << "^Icon=(.*)$" << AppId;
    QTest::newRow("Categories") << desktop << "^Categories=(.*)$"
                                << "System;FileTools;Filesystem;";
    QTest::newRow("Terminal") << desktop << "^Terminal=(.*)$"
                              << "false";
    QTest::newRow("Name[de]") << desktop << "^Name\\[de\\]=(.*)$" << QString();
    QTest::newRow("Comment[de]") << desktop << "^Comment\\[de\\]=(.*)$" << QString();
    // Software centres find the menu entry, the program and the screenshot in docs/.
    QTest::newRow("id") << meta << "<id>(.*)</id>" << AppId;
    QTest::newRow("launchable") << meta << "<launchable type=\"desktop-id\">(.*)</launchable>"
                                << AppId + QStringLiteral(".desktop");
    QTest::newRow("binary") << meta << "<binary>(.*)</binary>"
                            << "fegmann";
    QTest::newRow("release") << meta << "<release version=\"([^\"]*)\"" << FEGMANN_VERSION;
    QTest::newRow("content rating") << meta << "<content_rating type=\"([^\"]*)\""
                                    << "oars-1.1";
    QTest::newRow("home page") << meta << "<url type=\"homepage\">(.*)</url>"
                               << TAboutBox::HomePageUrl().toString();
    QTest::newRow("screenshot") << meta << "<image>https://.*(/docs/main-window\\.png)</image>"
                                << "/docs/main-window.png";
    QTest::newRow("summary") << meta << "<summary>(.*)</summary>" << QString();
    QTest::newRow("summary[de]") << meta << "<summary xml:lang=\"de\">(.*)</summary>" << QString();
    QTest::newRow("description[de]") << meta << "<p xml:lang=\"de\">\\s*(\\S.*)$" << QString();
}

void TestInstall::entriesName()
{
    QFETCH(QString, file);
    QFETCH(QString, pattern);
    QFETCH(QString, value);
    const QRegularExpressionMatch m =
        QRegularExpression(pattern, QRegularExpression::MultilineOption).match(readText(file));
    QVERIFY2(m.hasMatch(), qPrintable(pattern));
    if (value.isEmpty())
        QVERIFY(!m.captured(1).trimmed().isEmpty());
    else
        QCOMPARE(m.captured(1), value);
}

void TestInstall::answersItsArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outputFile");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("err");
    const QString help = QStringLiteral("Aufruf: fegmann [--help | --version]");
    QTest::newRow("version") << QStringList{"--version"} << QString() << 0
                             << "Fegmann " FEGMANN_VERSION << QString();
    QTest::newRow("help") << QStringList{"--help"} << QString() << 0 << help << QString();
    // Answered before anything else is looked at.
    QTest::newRow("help among others")
        << QStringList{"-platform", "none", "/tmp", "--help", "--version"} << QString() << 0 << help
        << QString();
    // A full disk is a failure, not an answer.
    QTest::newRow("output lost") << QStringList{"--version"} << "/dev/full" << 1 << QString()
                                 << "fegmann: Die Ausgabe konnte nicht geschrieben werden.\n";
}

void TestInstall::answersItsArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, outputFile);
    QFETCH(int, exitCode);
    QFETCH(QString, firstLine);
    QFETCH(QString, err);
    const Run r = run(path(QStringLiteral("bin/fegmann")), arguments, outputFile);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out.section(u'\n', 0, 0), firstLine);
    QCOMPARE(r.err, err);
}

void TestInstall::startsAndNamesIgnoredArguments()
{
    QTemporaryDir home;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    // Qt's own arguments, in all their spellings, are Qt's; the rest is named and left alone.
    p.start(path(QStringLiteral("bin/fegmann")),
            {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--scan"),
             QStringLiteral("-style=fusion"), QStringLiteral("--reverse"), QStringLiteral("/tmp"),
             QStringLiteral("--"), QStringLiteral("--version")});
    QByteArray err;
    const QByteArray prefix = "fegmann: ";
    QVERIFY(QTest::qWaitFor(
        [&] {
            p.waitForReadyRead(100);
            err += p.readAllStandardError();
            return err.contains(prefix) && err.indexOf('\n', err.indexOf(prefix)) >= 0;
        },
        60000));
    const qsizetype at = err.indexOf(prefix);
    QCOMPARE(QString::fromUtf8(err.mid(at, err.indexOf('\n', at) - at)),
             QStringLiteral("fegmann: Unbekannte Argumente werden ignoriert: „--scan“, „/tmp“, "
                            "„--“, „--version“"));
    // The program started as it does without arguments and is still running.
    QTest::qWait(300);
    QCOMPARE(p.state(), QProcess::Running);
    QCOMPARE(p.readAllStandardOutput(), QByteArray());
    p.kill();
    p.waitForFinished();
}

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
