// The command line: which argument is answered, the line that names ignored ones, the
// German texts, and the version in the about box.
#include "app/AboutBox.h"
#include "app/CommandLine.h"
#include "app/ProgramVersion.h"

#include <QLabel>
#include <QTest>

Q_DECLARE_METATYPE(CommandLine::Request)

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void requestOf_data();
    void requestOf();
    void ignoredLine_data();
    void ignoredLine();
    void texts();
};

void TestCommandLine::requestOf_data()
{
    using R = CommandLine::Request;
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<R>("request");
    QTest::newRow("none") << QStringList() << R::Run;
    QTest::newRow("help") << QStringList{"--help"} << R::Help;
    QTest::newRow("version") << QStringList{"--version"} << R::Version;
    QTest::newRow("the first one counts") << QStringList{"--version", "--help"} << R::Version;
    QTest::newRow("after others") << QStringList{"-platform", "xcb", "x", "--help"} << R::Help;
    QTest::newRow("after --") << QStringList{"--", "--version"} << R::Run;
    QTest::newRow("before --") << QStringList{"--help", "--"} << R::Help;
    // Only the exact spellings: an argument the program does not know starts it.
    for (const char* other :
         {"-h", "-v", "-help", "--HELP", "--help=1", "--versio", "help", " --help", ""})
        QTest::newRow(qPrintable(QStringLiteral("unknown '%1'").arg(QLatin1String(other))))
            << QStringList{QString::fromUtf8(other)} << R::Run;
}

void TestCommandLine::requestOf()
{
    QFETCH(QStringList, arguments);
    QFETCH(CommandLine::Request, request);
    QCOMPARE(CommandLine::requestOf(arguments), request);
}

void TestCommandLine::ignoredLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("line");
    QTest::newRow("none") << QStringList() << QString();
    QTest::newRow("one") << QStringList{"/home"}
                         << QStringLiteral("fegmann: Unbekanntes Argument wird ignoriert: „/home“");
    QTest::newRow("several, spaces and empty")
        << QStringList{"--scan", "a b", ""}
        << QStringLiteral("fegmann: Unbekannte Argumente werden ignoriert: „--scan“, „a b“, „“");
    // Line breaks, tabs, escapes and Unicode line separators cannot start a second line
    // or move the cursor; other text, umlauts included, stays as it is.
    QTest::newRow("control characters")
        << QStringList{QStringLiteral("a\nb\r\tc\x1b[2Jd\u2028e\u2029f"), QStringLiteral("Größe")}
        << QStringLiteral(
               "fegmann: Unbekannte Argumente werden ignoriert: „a?b??c?[2Jd?e?f“, „Größe“");
}

void TestCommandLine::ignoredLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, line);
    QCOMPARE(CommandLine::ignoredLine(arguments), line);
}

void TestCommandLine::texts()
{
    QCOMPARE(CommandLine::versionText(), QStringLiteral("Fegmann " FEGMANN_VERSION "\n"));
    const QString help = CommandLine::helpText();
    QVERIFY(help.startsWith(QLatin1String("Aufruf: fegmann [--help | --version]\n")));
    QVERIFY(help.endsWith(u'\n'));
    QVERIFY(help.contains(QLatin1String("\n  --help      diese Hilfe zeigen und beenden\n")));
    QVERIFY(
        help.contains(QLatin1String("\n  --version   die Versionsnummer zeigen und beenden\n")));
    for (const QString& line : help.split(u'\n'))
        QVERIFY2(line.size() <= 80, qPrintable(line));

    // The about box names the same version as --version.
    TAboutBox box;
    auto* product = box.findChild<QLabel*>(QStringLiteral("ProductName"));
    QVERIFY(product);
    QCOMPARE(product->text(), QStringLiteral("Quornel Kehrmax " FEGMANN_VERSION));
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
