// The titles the window manager shows for the program's windows are their captions,
// read from a real X server: Qt must not append the application's name to them.

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

class TestWindowTitles : public QObject
{
    Q_OBJECT

private slots:
    void captionsReachTheWindowManager()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
            QSKIP("xvfb-run and xprop are needed (Debian packages xvfb and x11-utils)");
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        run.setProcessEnvironment(env);
        run.start(QStringLiteral("xvfb-run"),
                  {QStringLiteral("-a"), QStringLiteral("-s"),
                   QStringLiteral("-screen 0 1024x768x24"), QStringLiteral(FEGMANN_WINDOW_SHOT),
                   QStringLiteral("--titles")});
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(run.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, (QStringList{QStringLiteral("title: Quornel Kehrmax 1.0"),
                                     QStringLiteral("title: Info"),
                                     QStringLiteral("title: Verzeichnis auswählen")}));
    }
};

QTEST_MAIN(TestWindowTitles)
#include "tst_windowtitles.moc"
