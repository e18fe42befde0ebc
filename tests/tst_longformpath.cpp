// Turning a typed folder path into the names the file system records.

#include "TestTrees.h"
#include "app/MyThread.h"
#include "platform/PathNames.h"

#include <QTemporaryDir>
#include <QTest>

using platform::LongFormPath;
using namespace testtrees;

class TestLongFormPath : public QObject
{
    Q_OBJECT

    ScratchDir m_tmp;
    QByteArray m_base;

private Q_SLOTS:
    void initTestCase()
    {
        m_base = QFile::encodeName(m_tmp.path());
        makeDir(m_base + "/Alpha");
        makeDir(m_base + "/Alpha/Beta");
        makeDir(m_base + "/Gamma");
        makeDir(m_base + "/GAMMA");
        makeDir(m_base + "/\xe4rger");
        makeFile(m_base + "/Alpha/notes.TXT", 1);
    }

    void paths_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray b = m_base;
        QTest::newRow("root") << QByteArray("/") << QByteArray("/");
        QTest::newRow("exact") << b + "/Alpha/Beta" << b + "/Alpha/Beta";
        QTest::newRow("trailing separator stays") << b + "/Alpha/" << b + "/Alpha/";
        QTest::newRow("letter case") << b + "/alpha/BETA" << b + "/Alpha/Beta";
        QTest::newRow("file in other case") << b + "/ALPHA/Notes.txt" << b + "/Alpha/notes.TXT";
        QTest::newRow("missing last component") << b + "/Alpha/Missing" << b + "/Alpha/";
        QTest::newRow("missing middle component") << b + "/Missing/Beta" << b + "//";
        QTest::newRow("exact name wins over case") << b + "/GAMMA" << b + "/GAMMA";
        QTest::newRow("two candidates: none") << b + "/gamma" << b + "/";
        QTest::newRow("name that is not UTF-8") << b + "/\xe4rger" << b + "/\xe4rger";
        QTest::newRow("no separator") << QByteArray("relative") << QByteArray("relative");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("missing under root")
            << QByteArray("/no-such-folder-here") << QByteArray("/");
        QTest::newRow("odd characters") << b + "/\n*?\"<>|" << b + "/";
    }

    void paths()
    {
        QFETCH(QByteArray, typed);
        QFETCH(QByteArray, expected);
        QCOMPARE(LongFormPath(typed), expected);
    }

    void folderFieldTextIsEncodedForTheKernel()
    {
        // The interface hands over text; a name that is not UTF-8 survives the trip.
        const QString typed = QFile::decodeName(m_base + "/\xe4rger");
        QCOMPARE(TMyThread::LongFormPath(typed), m_base + "/\xe4rger");
    }
};

QTEST_GUILESS_MAIN(TestLongFormPath)
#include "tst_longformpath.moc"
