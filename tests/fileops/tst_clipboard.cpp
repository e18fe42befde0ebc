// The clipboard's file list: written in the three forms the desktops read, read back from
// whichever is there through the real clipboard of the offscreen platform, with names that
// are not UTF-8 kept byte for byte and addresses of other machines or malformed lines
// reported instead of guessed at.

#include "fileops/ClipboardFiles.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSysInfo>
#include <QTest>

using fileops::ClipboardFiles;

class TestClipboard : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void reading_data();
    void reading();
};

void TestClipboard::roundTrip_data()
{
    QTest::addColumn<bool>("cut");
    QTest::newRow("copy") << false;
    QTest::newRow("cut") << true;
}

void TestClipboard::roundTrip()
{
    QFETCH(bool, cut);
    const shell::TFileNames files{"/tmp/a b#c%d.txt", "/tmp/n\xff\xfe", "/home/\xc3\xa4/x?"};
    auto* data = new QMimeData;
    ClipboardFiles::write(*data, files, cut);
    QGuiApplication::clipboard()->setMimeData(data);

    const QMimeData* got = QGuiApplication::clipboard()->mimeData();
    QVERIFY(got);
    const QByteArray uris = "file:///tmp/a%20b%23c%25d.txt\r\nfile:///tmp/n%FF%FE\r\n"
                            "file:///home/%C3%A4/x%3F\r\n";
    QCOMPARE(got->data(QStringLiteral("text/uri-list")), uris);
    QCOMPARE(got->data(QStringLiteral("x-special/gnome-copied-files")),
             QByteArray(cut ? "cut\n" : "copy\n") +
                 QByteArray(uris).replace("\r\n", "\n").chopped(1));
    QCOMPARE(got->data(QStringLiteral("application/x-kde-cutselection")),
             QByteArray(cut ? "1" : "0"));
    const ClipboardFiles::Contents read = ClipboardFiles::read(got);
    QCOMPARE(read.files, files);
    QCOMPARE(read.cut, cut);
    QVERIFY(read.problems.isEmpty());
    // Other programs read Qt's view of the list: the same files.
    QCOMPARE(got->urls().size(), 3);
    QCOMPARE(got->urls()[0].toLocalFile(), QStringLiteral("/tmp/a b#c%d.txt"));
}

void TestClipboard::reading_data()
{
    QTest::addColumn<QByteArray>("gnome");   // x-special/gnome-copied-files, "-" for none
    QTest::addColumn<QByteArray>("uriList"); // text/uri-list, "-" for none
    QTest::addColumn<QByteArray>("kde");     // application/x-kde-cutselection, "-" for none
    QTest::addColumn<QByteArrayList>("files");
    QTest::addColumn<bool>("cut");
    QTest::addColumn<QStringList>("problems"); // a part of each sentence
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    QTest::newRow("gnome cut wins over the others")
        << QByteArray("cut\nfile:///a\nfile:///b") << QByteArray("file:///c\r\n") << QByteArray("0")
        << QByteArrayList{"/a", "/b"} << true << QStringList();
    QTest::newRow("gnome copy") << QByteArray("copy\nfile:///a\n") << QByteArray("-")
                                << QByteArray("1") << QByteArrayList{"/a"} << false
                                << QStringList();
    QTest::newRow("uri list with the kde cut mark")
        << QByteArray("-") << QByteArray("# comment\r\nfile:///a\r\n\r\nfile:///b%20c\r\n")
        << QByteArray("1") << QByteArrayList{"/a", "/b c"} << true << QStringList();
    QTest::newRow("uri list alone is a copy")
        << QByteArray("-") << QByteArray("file:///a") << QByteArray("-") << QByteArrayList{"/a"}
        << false << QStringList();
    QTest::newRow("hosts of this machine")
        << QByteArray("-") << "file://localhost/a\nfile://" + host + "/b\nFILE:///c\n"
        << QByteArray("-") << QByteArrayList{"/a", "/b", "/c"} << false << QStringList();
    QTest::newRow("other machines and schemes are not ours")
        << QByteArray("-") << QByteArray("file://server/a\nhttps://example.org/x\nfile:///ok\n")
        << QByteArray("-") << QByteArrayList{"/ok"} << false
        << QStringList{u"„file://server/a“ ist keine Datei dieses Rechners"_qs,
                       u"„https://example.org/x“ ist keine Datei dieses Rechners"_qs};
    // Qt's mime data re-encodes a uri list set in this process, so the raw lines are
    // given in the other form, which reaches the reader as it was written.
    QTest::newRow("malformed lines are reported")
        << QByteArray("copy\nfile:///bad%zz\nfile:relative\nfile:///a#frag\nfile:///raw\xff\n"
                      "not a uri\nfile:///nul%00x\nfile:///good%FF\n")
        << QByteArray("-") << QByteArray("-") << QByteArrayList{"/good\xff"} << false
        << QStringList{u"„file:///bad%zz“ ist keine gültige Adresse"_qs,
                       u"„file:relative“ ist keine gültige Adresse"_qs,
                       u"„file:///a#frag“ ist keine gültige Adresse"_qs,
                       u"ist keine gültige Adresse"_qs,
                       u"„not a uri“ ist keine gültige Adresse"_qs,
                       u"„file:///nul%00x“ ist keine gültige Adresse"_qs};
    QTest::newRow("broken gnome mark falls back to the uri list")
        << QByteArray("move\nfile:///a") << QByteArray("file:///b") << QByteArray("-")
        << QByteArrayList{"/b"} << false << QStringList{u"beschädigt"_qs};
}

void TestClipboard::reading()
{
    QFETCH(QByteArray, gnome);
    QFETCH(QByteArray, uriList);
    QFETCH(QByteArray, kde);
    QFETCH(QByteArrayList, files);
    QFETCH(bool, cut);
    QFETCH(QStringList, problems);
    QMimeData data;
    if (gnome != "-")
        data.setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
    if (uriList != "-")
        data.setData(QStringLiteral("text/uri-list"), uriList);
    if (kde != "-")
        data.setData(QStringLiteral("application/x-kde-cutselection"), kde);

    const ClipboardFiles::Contents read = ClipboardFiles::read(&data);

    QVERIFY(read.hasFileList);
    QCOMPARE(QByteArrayList(read.files.begin(), read.files.end()), files);
    QCOMPARE(read.cut, cut);
    QCOMPARE(read.problems.size(), problems.size());
    for (int i = 0; i < problems.size(); ++i)
        QVERIFY2(read.problems[i].contains(problems[i]), qPrintable(read.problems[i]));
    QVERIFY(!ClipboardFiles::read(nullptr).hasFileList);
}

QTEST_MAIN(TestClipboard)
#include "tst_clipboard.moc"
