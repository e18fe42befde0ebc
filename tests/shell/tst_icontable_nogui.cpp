// The icon table in a program without a GUI application (a worker tool, a test of the
// core): indexes are handed out as usual and images are the drawn pictures, never a
// pixmap that would abort the process.

#include "shell/ShellStartup.h"
#include "shell/SystemIconTable.h"

#include <QTest>

using namespace shell;

class TestIconTableNoGui : public QObject
{
    Q_OBJECT
private slots:
    void drawnPicturesWithoutGui();
};

void TestIconTableNoGui::drawnPicturesWithoutGui()
{
    QVERIFY(ShellStartup());
    SystemIconTable& table = SystemIconTable::instance();
    const int folder = table.indexFor({QStringLiteral("folder")});
    const int file = table.indexFor({QStringLiteral("text-x-generic")});
    QVERIFY(folder >= 0 && file >= 0 && folder != file);
    const QImage folderImage = table.image(folder, 32);
    QCOMPARE(folderImage.size(), QSize(32, 32));
    // The folder keeps a folder's picture (yellow), the file a sheet (white).
    QCOMPARE(folderImage.pixelColor(16, 20), QColor(0xf0, 0xc8, 0x50));
    QCOMPARE(table.image(file, 32).pixelColor(16, 20), QColor(Qt::white));
}

QTEST_GUILESS_MAIN(TestIconTableNoGui)
#include "tst_icontable_nogui.moc"
