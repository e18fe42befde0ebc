// The program as it is installed: `cmake --install` into a temporary prefix puts down
// exactly the program's files, Debian's validators find nothing wrong with the menu
// entry and the AppStream data, the names in them lead to installed files, and the
// installed binary answers its two arguments and ignores all others.
#include "app/AboutBox.h"
#include "app/ProgramVersion.h"

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

const QString AppId = QStringLiteral(FEGMANN_APP_ID);

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& arguments, const QString& outputFile = QString())
{
    QProcess p;
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

// The value of `key` in the [Desktop Entry] group, without any interpretation.
QString desktopValue(const QString& text, const QString& key)
{
    const QRegularExpression re(QStringLiteral("^%1=(.*)$").arg(QRegularExpression::escape(key)),
                                QRegularExpression::MultilineOption);
    return re.match(text).captured(1);
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
    void namesLeadToInstalledFiles();
    void answersItsArguments_data();
    void answersItsArguments();
    void failedOutputIsAFailure();
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
    // Hints are neither errors nor warnings: desktop-file-validate gives one for the
    // two main categories (Utility, System) that the entry asks for on purpose.
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
    // desktop-file-validate writes "FILE: error: ..." and "FILE: warning: ...",
    // appstreamcli "E: ..." and "W: ...".
    static const QRegularExpression complaint(QStringLiteral("(: (error|warning):|^[EW]: )"),
                                              QRegularExpression::MultilineOption);
    QVERIFY2(!complaint.match(report).hasMatch(), qPrintable(report));
}

void TestInstall::namesLeadToInstalledFiles()
{
    const QString desktop = readText(m_desktop);
    QCOMPARE(desktopValue(desktop, QStringLiteral("Exec")), QStringLiteral("fegmann"));
    QCOMPARE(desktopValue(desktop, QStringLiteral("Icon")), AppId);
    QCOMPARE(desktopValue(desktop, QStringLiteral("Categories")),
             QStringLiteral("Utility;FileTools;System;Filesystem;"));
    QCOMPARE(desktopValue(desktop, QStringLiteral("Terminal")), QStringLiteral("false"));
    for (const QString& key : {QStringLiteral("Name"), QStringLiteral("Comment")}) {
        QVERIFY2(!desktopValue(desktop, key).isEmpty(), qPrintable(key));
        QVERIFY2(!desktopValue(desktop, key + QStringLiteral("[de]")).isEmpty(), qPrintable(key));
    }

    QFile file(path(m_metainfo));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QMap<QString, QString> seen; // element (with type or language) -> text or version
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        const QXmlStreamAttributes a = xml.attributes();
        const auto attribute = [&](const char* key) {
            return a.value(QLatin1String(key)).toString();
        };
        if (name == u"release") {
            seen[name] = attribute("version");
        } else if (name == u"content_rating") {
            seen[name] = attribute("type");
        } else if (name != u"component" && name != u"description" && name != u"screenshots" &&
                   name != u"screenshot" && name != u"provides" && name != u"releases") {
            const QString qualifier = a.hasAttribute(QLatin1String("xml:lang"))
                                          ? attribute("xml:lang")
                                          : attribute("type");
            const QString key = qualifier.isEmpty() ? name : name + u'[' + qualifier + u']';
            seen[key] = xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(seen.value(QStringLiteral("id")), AppId);
    QCOMPARE(seen.value(QStringLiteral("launchable[desktop-id]")),
             AppId + QStringLiteral(".desktop"));
    QVERIFY(QFile::exists(path(QStringLiteral("share/applications/") +
                               seen.value(QStringLiteral("launchable[desktop-id]")))));
    QCOMPARE(seen.value(QStringLiteral("binary")), QStringLiteral("fegmann"));
    QCOMPARE(seen.value(QStringLiteral("content_rating")), QStringLiteral("oars-1.1"));
    QCOMPARE(seen.value(QStringLiteral("url[homepage]")), TAboutBox::HomePageUrl().toString());
    QVERIFY(!seen.value(QStringLiteral("summary")).isEmpty());
    QVERIFY(!seen.value(QStringLiteral("summary[de]")).isEmpty());
    QVERIFY(!seen.value(QStringLiteral("p[de]")).isEmpty());
    // The screenshot is the one in this repository's docs/.
    QVERIFY2(seen.value(QStringLiteral("image")).endsWith(QLatin1String("/docs/main-window.png")),
             qPrintable(seen.value(QStringLiteral("image"))));
    QVERIFY(QFile::exists(QStringLiteral(FEGMANN_SOURCE_DIR "/docs/main-window.png")));
    // The release is the version the installed program reports.
    const Run version = run(path(QStringLiteral("bin/fegmann")), {QStringLiteral("--version")});
    QCOMPARE(version.out,
             QStringLiteral("Fegmann ") + seen.value(QStringLiteral("release")) + u'\n');
}

void TestInstall::answersItsArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("version") << QStringList{"--version"} << "Fegmann " FEGMANN_VERSION;
    QTest::newRow("help") << QStringList{"--help"} << "Aufruf: fegmann [--help | --version]";
    // Answered without a display and before anything else is looked at.
    QTest::newRow("help among others")
        << QStringList{"-platform", "none", "/tmp", "--help", "--version"}
        << "Aufruf: fegmann [--help | --version]";
}

void TestInstall::answersItsArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, firstLine);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(path(QStringLiteral("bin/fegmann")), arguments);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).section(u'\n', 0, 0), firstLine);
    QCOMPARE(p.readAllStandardError(), QByteArray());
}

void TestInstall::failedOutputIsAFailure()
{
    const Run r = run(path(QStringLiteral("bin/fegmann")), {QStringLiteral("--version")},
                      QStringLiteral("/dev/full"));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QStringLiteral("fegmann: Die Ausgabe konnte nicht geschrieben werden.\n"));
}

void TestInstall::startsAndNamesIgnoredArguments()
{
    QTemporaryDir home;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    // Qt's own arguments, in both spellings, are Qt's; the rest is named and left alone.
    p.start(path(QStringLiteral("bin/fegmann")),
            {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--scan"),
             QStringLiteral("-style=fusion"), QStringLiteral("/tmp"), QStringLiteral("--"),
             QStringLiteral("--version")});
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
