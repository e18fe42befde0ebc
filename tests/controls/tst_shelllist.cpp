// TShellList over real folders, offscreen: what is listed with which options, the
// columns, the rule for setting the same path again, details read only for the items
// that are drawn, the order by every column and the arrow in the header, the selection
// kept by name, and folders that cannot be listed.

#include "controls/ShellList.h"
#include "platform/DirectorySearch.h"
#include "platform/MountTable.h"
#include "platform/VolumeSpace.h"
#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"

#include "../shell/RawFiles.h"
#include "TestFolders.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <atomic>
#include <sys/stat.h>
#include <unistd.h>

using namespace shell;

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 GiB = 1024 * 1024 * 1024;

void sparse(const QByteArray& path, qint64 size)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::ftruncate(fd, size), 0);
    ::close(fd);
}

// The names the list shows, in list order.
QList<QByteArray> shown(TShellList& list)
{
    QList<QByteArray> out;
    for (int i = 0; i < list.ItemCount(); ++i)
        out << (list.Item(i).Data.IsParentFolder ? QByteArray("..")
                                                 : QFile::encodeName(list.CaptionText(i)));
    return out;
}

// A click on the middle of a column's header, where the user clicks.
void clickHeader(TShellList& list, int column)
{
    TListHeader* header = list.Header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// Paints the list once, as the screen would.
void paint(TShellList& list)
{
    if (!list.isVisible()) {
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
    }
    list.CurrentView()->viewport()->repaint();
}

} // namespace

class TestShellList : public QObject
{
    Q_OBJECT

    TestFolders m_folders;
    const QByteArray& m_base = m_folders.base;

    QByteArray folder() { return m_folders.make(); }

private slots:
    void initTestCase() { QVERIFY(ShellStartup()); }
    void cleanupTestCase() { QVERIFY(m_folders.removeAll()); }

    void constructedEmptyAndLoadedShowsDrives()
    {
        TShellList list;
        QCOMPARE(list.ItemCount(), 0);
        QCOMPARE(list.OptionWord(), 0x13);
        QCOMPARE(list.ViewStyle(), vsReport);
        QVERIFY(list.MultiSelect());
        QCOMPARE(list.RefreshTimer.interval(), 600);
        QVERIFY(!list.RefreshTimer.isActive());
        QCOMPARE(list.Version(), QStringLiteral("TShellList V5.4"));
        // A path given while loading waits; without one the drives are shown.
        list.BeginLoading();
        list.SetPath(QFile::decodeName(m_base));
        QCOMPARE(list.ItemCount(), 0);
        QCOMPARE(list.PathBytes(), m_base);
        list.SetPath(QString());
        list.Loaded();
        QCOMPARE(list.PathBytes(), QByteArray());
        QCOMPARE(list.SpecialFolder(), SF_DRIVES);
        QVERIFY(shown(list).contains("Dateisystem"));
    }

    void whatIsListed_data()
    {
        // Entries: "f:" a file, "d:" a folder, "h:" a hidden file. `options` switch
        // the list's options off or on before the folder is read.
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("defaults") << QStringList{} << QList<QByteArray>{"ordner", "a.txt", "b.bin"};
        QTest::newRow("hidden shown")
            << QStringList{"ShowHidden"}
            << QList<QByteArray>{".RECYCLER", "ordner", ".versteckt", "a.txt", "b.bin"};
        QTest::newRow("no folders")
            << QStringList{"-ShowFolders"} << QList<QByteArray>{"a.txt", "b.bin"};
        QTest::newRow("no files") << QStringList{"-ShowFiles"} << QList<QByteArray>{"ordner"};
        QTest::newRow("neither") << QStringList{"-ShowFolders", "-ShowFiles"}
                                 << QList<QByteArray>{};
        QTest::newRow("filter") << QStringList{"Filter=*.txt"}
                                << QList<QByteArray>{"ordner", "a.txt"};
        QTest::newRow("parent entry") << QStringList{"ShowParentFolder"}
                                      << QList<QByteArray>{"..", "ordner", "a.txt", "b.bin"};
    }
    void whatIsListed()
    {
        QFETCH(QStringList, options);
        QFETCH(QList<QByteArray>, expected);
        const QByteArray f = folder();
        QCOMPARE(::mkdir((f + "/ordner").constData(), 0755), 0);
        QCOMPARE(::mkdir((f + "/.RECYCLER").constData(), 0755), 0);
        for (const char* name : {"a.txt", "b.bin", ".versteckt"})
            writeFile(f + '/' + name);
        TShellList list;
        for (const QString& option : options) {
            const bool on = !option.startsWith(u'-');
            const QString name = on ? option : option.mid(1);
            if (name == u"ShowHidden")
                list.SetShowHidden(on);
            else if (name == u"ShowFolders")
                list.SetShowFolders(on);
            else if (name == u"ShowFiles")
                list.SetShowFiles(on);
            else if (name == u"ShowRecycleBin")
                list.SetShowRecycleBin(on);
            else if (name == u"ShowParentFolder")
                list.SetShowParentFolder(on);
            else if (name.startsWith(u"Filter="))
                list.SetFilter(name.mid(7));
        }
        list.SetPathBytes(f);
        QCOMPARE(shown(list), expected);
        QCOMPARE(list.PathBytes(), f + '/');
        // Hidden items are drawn ghosted, others not.
        list.resize(600, 400);
        paint(list);
        for (int i = 0; i < list.ItemCount(); ++i)
            QCOMPARE(list.Item(i).Cut, shown(list)[i].startsWith('.') && shown(list)[i] != "..");
    }

    void columns_data()
    {
        QTest::addColumn<bool>("details");
        QTest::addColumn<QStringList>("captions");
        QTest::newRow("details") << true << QStringList{"Name", "Größe", "Typ", "Geändert am"};
        QTest::newRow("no details") << false << QStringList{"Name"};
    }
    void columns()
    {
        QFETCH(bool, details);
        QFETCH(QStringList, captions);
        const QByteArray f = folder();
        writeFile(f + "/text.txt", QByteArray(1500, 'x'));
        QCOMPARE(::utimensat(AT_FDCWD, (f + "/text.txt").constData(),
                             std::array<timespec, 2>{{{1700000000, 0}, {1700000000, 0}}}.data(),
                             AT_SYMLINK_NOFOLLOW),
                 0);
        TShellList list;
        list.SetDetails(details);
        list.SetPathBytes(f);
        QStringList got;
        for (int k = 0; k < list.ListColumnCount(); ++k)
            got << list.Column(k).Caption;
        QCOMPARE(got, captions);
        QCOMPARE(list.ColumnCount(), captions.size());
        // The hidden columns (created, owner, permissions) are skipped; the shown ones
        // keep the namespace's numbers.
        for (int k = 0; k < list.ColumnCount(); ++k)
            QCOMPARE(list.ColumnMap(k), k);
        QCOMPARE(list.Column(0).Width, 210);
        if (details) {
            QCOMPARE(list.Column(1).Alignment, 1);
            QCOMPARE(list.Column(1).Width, 70);
        }
        list.resize(800, 300);
        paint(list);
        const QStringList cells = list.Item(0).SubItems();
        if (!details) {
            QVERIFY(cells.isEmpty());
            return;
        }
        QCOMPARE(cells.value(0), QStringLiteral("2 KB"));
        QVERIFY(!cells.value(1).isEmpty());
        QCOMPARE(
            cells.value(2),
            QDateTime::fromSecsSinceEpoch(1700000000).toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        QVERIFY(list.Item(0).ImageIndex >= 0);
    }

    void columnWidthsCarryOver()
    {
        const QByteArray a = folder();
        const QByteArray b = folder();
        TShellList list;
        list.SetPathBytes(a);
        list.SetColumnWidth(2, 333);
        list.SetPathBytes(b);
        QCOMPARE(list.Column(2).Width, 333);
        QCOMPARE(list.SavedColumnWidth(2), 333);
        QVERIFY(list.KeepColumnWidths());
        // The drives have other columns at the same places: a width goes with its
        // caption, not with the place.
        list.SetPathBytes({});
        QCOMPARE(list.Column(1).Caption, QStringLiteral("Typ"));
        QCOMPARE(list.Column(1).Width, 333);
        QCOMPARE(list.Column(2).Width, 84); // "Gesamtgröße" as the namespace gives it
        list.SetColumnWidth(1, 99);
        list.SetPathBytes(a);
        QCOMPARE(list.Column(1).Caption, QStringLiteral("Größe"));
        QCOMPARE(list.Column(1).Width, 70);
        QCOMPARE(list.Column(2).Width, 99);
    }

    void samePathAgain_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("reads");
        QTest::newRow("two items: read once") << 2 << 1;
        QTest::newRow("one item: read again") << 1 << 2;
        QTest::newRow("empty: read again") << 0 << 2;
    }
    void samePathAgain()
    {
        QFETCH(int, files);
        QFETCH(int, reads);
        const QByteArray f = folder();
        for (int i = 0; i < files; ++i)
            writeFile(f + "/d" + QByteArray::number(i));
        TShellList list;
        int populated = 0;
        list.OnPopulated = [&] { ++populated; };
        list.SetPathBytes(f);
        list.SetPathBytes(f + '/'); // the same folder, spelt with its slash
        QCOMPARE(populated, reads);
    }

    void foldersThatCannotBeShown_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray("/gone")
                                 << QStringLiteral(
                                        "Das System kann den angegebenen Pfad nicht finden.");
        QTest::newRow("a file") << QByteArray("/datei")
                                << QStringLiteral("Der Pfad ist kein Ordner.");
        QTest::newRow("unreadable")
            << QByteArray("/gesperrt") << QStringLiteral("Zugriff verweigert.");
    }
    void foldersThatCannotBeShown()
    {
        QFETCH(QByteArray, target);
        QFETCH(QString, reason);
        const QByteArray f = folder();
        writeFile(f + "/datei");
        writeFile(f + "/zweite");
        QCOMPARE(::mkdir((f + "/gesperrt").constData(), 0755), 0);
        platform::setFolderOpenHook(
            [](int, std::string_view name) { return !name.ends_with("/gesperrt"); });
        TShellList list;
        list.SetPathBytes(f);
        const QList<QByteArray> before = shown(list);
        QString message;
        try {
            list.SetPathBytes(f + target);
        } catch (const EShellNavigatorError& e) {
            message = e.message();
        }
        platform::setFolderOpenHook({});
        QCOMPARE(message, reason + u'\n' + QFile::decodeName(f + target));
        QCOMPARE(list.PathBytes(), f + '/');
        QCOMPARE(shown(list), before);
    }

    void oddNames()
    {
        // Names that are not UTF-8, of 255 bytes, with a newline: listed each under its
        // own bytes, and found again by them.
        const QByteArray f = folder();
        const QList<QByteArray> names{"\xff\x01", "\xfe\x01", QByteArray(255, 'n'), "neue\nZeile"};
        for (const QByteArray& name : names)
            writeFile(f + '/' + name);
        TShellList list;
        list.SetPathBytes(f);
        QCOMPARE(list.ItemCount(), names.size());
        for (const QByteArray& name : names) {
            const int i = list.FindItemByID(TIdList::fromItems({"F" + name}));
            QVERIFY2(i >= 0, name.constData());
            QCOMPARE(list.ItemPath(i), f + '/' + name);
        }
        QCOMPARE(list.FindItemByID(TIdList::fromItems({QByteArray("F\xfd\x01")})), -1);
    }

    void onlyDrawnItemsAreFilled()
    {
        const QByteArray f = folder();
        for (int i = 0; i < 2000; ++i)
            writeFile(f + "/datei" + QByteArray::number(i) + ".txt");
        TShellList list;
        list.resize(800, 600);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.SetPathBytes(f);
        // Nothing is read while the folder is listed, but for the one item the view
        // measures its rows by.
        QVERIFY(list.FilledCount() <= 1);
        paint(list);
        const int filled = list.FilledCount();
        QVERIFY2(filled > 10 && filled < 60, QByteArray::number(filled));
        // The drawn items have their details; one far down has none.
        QVERIFY(list.Item(0).ImageIndex >= 0);
        QVERIFY(!list.Item(0).SubItems().isEmpty());
        QCOMPARE(list.Item(1999).ImageIndex, -1);
        QVERIFY(list.Item(1999).SubItems().isEmpty());
        list.MakeVisible(1999);
        paint(list);
        QVERIFY(list.Item(1999).ImageIndex >= 0);
    }

    void order_data()
    {
        // Clicks on column headers and the order they give. Sizes compare as 64-bit
        // values and folders come first; names go by the language, blind to case. Before
        // the clicks the list was in `style` (-1: thumbnails) and came back to report view.
        QTest::addColumn<int>("style");
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("name, as read")
            << int(vsReport) << QList<int>{}
            << QList<QByteArray>{"Ordner", "a-10kb", "B-5gib", "c-4gib", "D-9kb"};
        QTest::newRow("name, descending")
            << int(vsIcon) << QList<int>{0}
            << QList<QByteArray>{"D-9kb", "c-4gib", "B-5gib", "a-10kb", "Ordner"};
        QTest::newRow("size ascending")
            << int(vsList) << QList<int>{1}
            << QList<QByteArray>{"Ordner", "D-9kb", "a-10kb", "c-4gib", "B-5gib"};
        QTest::newRow("size descending")
            << int(vsSmallIcon) << QList<int>{1, 1}
            << QList<QByteArray>{"B-5gib", "c-4gib", "a-10kb", "D-9kb", "Ordner"};
        QTest::newRow("size, three clicks")
            << -1 << QList<int>{1, 1, 1}
            << QList<QByteArray>{"Ordner", "D-9kb", "a-10kb", "c-4gib", "B-5gib"};
        QTest::newRow("back to name")
            << int(vsReport) << QList<int>{1, 1, 0}
            << QList<QByteArray>{"Ordner", "a-10kb", "B-5gib", "c-4gib", "D-9kb"};
    }
    void order()
    {
        QFETCH(int, style);
        QFETCH(QList<int>, clicks);
        QFETCH(QList<QByteArray>, expected);
        const QByteArray f = folder();
        QCOMPARE(::mkdir((f + "/Ordner").constData(), 0755), 0);
        sparse(f + "/B-5gib", 5 * GiB);
        sparse(f + "/c-4gib", 4 * GiB);
        sparse(f + "/a-10kb", 10 * KiB);
        sparse(f + "/D-9kb", 9 * KiB);
        TShellList list;
        list.resize(800, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.SetPathBytes(f);
        if (style < 0)
            list.SetThumbnails(true);
        else
            list.SetViewStyle(TViewStyle(style));
        list.SetViewStyle(vsReport);
        // One item selected, another focused: both go with their items, also where a
        // sort moves items in a cycle of three (by size: a, D and B trade places).
        const auto rowOf = [&](const QByteArray& name) { return int(shown(list).indexOf(name)); };
        list.SetSelected(rowOf("a-10kb"), true);
        list.SetItemFocused(rowOf("B-5gib"));
        for (const int column : clicks)
            clickHeader(list, column);
        QCOMPARE(shown(list), expected);
        QCOMPARE(list.SelectedIndexes(), std::vector<int>{rowOf("a-10kb")});
        QCOMPARE(list.ItemFocused(), rowOf("B-5gib"));
        QCOMPARE(list.SortColumn(), clicks.isEmpty() ? 0 : clicks.back());
        QCOMPARE(list.SortDescending(),
                 (clicks.size() % 2 == 0 && !clicks.isEmpty() && clicks.back() == clicks.front()) ||
                     (clicks == QList<int>{0}));
        // The arrow is on the sorted column alone, and points the sorted way.
        for (int k = 0; k < list.ListColumnCount(); ++k) {
            const QImage arrow = k != list.SortColumn()  ? QImage()
                                 : list.SortDescending() ? list.ArrowDown()
                                                         : list.ArrowUp();
            QCOMPARE(list.Header()->SectionBitmap(k), arrow);
        }
        // A refresh keeps column and direction.
        list.FullRefresh();
        QCOMPARE(shown(list), expected);
    }

    void drivesSortByTheirOwnColumns_data()
    {
        // The root ("r") and three drives mounted below the test's folder ("a", "b",
        // "c"), each with its kind, total and free bytes; clicks on a header of the
        // drives view and the order they give.
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("Typ") << QList<int>{1} << QByteArray("brac");
        QTest::newRow("Typ, descending") << QList<int>{1, 1} << QByteArray("carb");
        QTest::newRow("Gesamtgröße") << QList<int>{2} << QByteArray("acbr");
        QTest::newRow("Gesamtgröße, descending") << QList<int>{2, 2} << QByteArray("rbca");
        QTest::newRow("Freier Speicher") << QList<int>{3} << QByteArray("barc");
        QTest::newRow("Freier Speicher, descending") << QList<int>{3, 3} << QByteArray("crab");
    }
    void drivesSortByTheirOwnColumns()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QByteArray, expected);
        const QByteArray f = folder();
        struct Drive
        {
            QByteArray mountPoint, fileSystem, source;
            std::uint64_t total, free;
        };
        const QList<Drive> drives{{"/", "ext4", "/dev/vda1", 400 * GiB, 300 * GiB},
                                  {f + "/a", "xfs", "/dev/vdb1", 100 * GiB, 200 * GiB},
                                  {f + "/b", "btrfs", "/dev/vdc1", 300 * GiB, 100 * GiB},
                                  {f + "/c", "nfs", "server:/share", 200 * GiB, 400 * GiB}};
        QByteArray table;
        for (int i = 0; i < drives.size(); ++i) {
            const Drive& d = drives[i];
            if (d.mountPoint != "/")
                QCOMPARE(::mkdir(d.mountPoint.constData(), 0755), 0);
            table += QByteArray::number(i + 20) + " 1 8:" + QByteArray::number(i) + " / " +
                     d.mountPoint + " rw - " + d.fileSystem + ' ' + d.source + " rw\n";
        }
        writeFile(f + "/mountinfo", table);
        platform::MountTable::setTableFile(QFile::decodeName(f + "/mountinfo"));
        platform::setVolumeSizeHook([drives](const QByteArray& path) {
            for (const Drive& d : drives) {
                if (d.mountPoint == path)
                    return std::optional(platform::VolumeSize{d.total, d.free});
            }
            return std::optional<platform::VolumeSize>();
        });
        const auto restore = qScopeGuard([] {
            platform::MountTable::setTableFile({});
            platform::setVolumeSizeHook({});
        });
        TShellList list;
        list.resize(800, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.SetPathBytes({});
        QCOMPARE(list.ColumnCount(), 4);
        for (const int column : clicks)
            clickHeader(list, column);
        QByteArray order;
        for (int i = 0; i < list.ItemCount(); ++i) {
            const QByteArray path = list.ItemPath(i);
            order += path == "/" ? 'r' : path.back();
        }
        QCOMPARE(order, expected);
    }

    void orderByTextWhenTheOwnerCompares()
    {
        // With OnCompare the sizes are texts: "10 KB" comes before "9 KB".
        const QByteArray f = folder();
        sparse(f + "/neun", 9 * KiB);
        sparse(f + "/zehn", 10 * KiB);
        TShellList list;
        int asked = 0;
        list.OnCompare = [&](int, int, qintptr data, int&) {
            QCOMPARE(data, qintptr(list.SortColumn())); // the column, not the folder
            ++asked;
        };
        list.SetPathBytes(f);
        list.SortByColumn(1);
        QVERIFY(asked > 0);
        QCOMPARE(shown(list), (QList<QByteArray>{"zehn", "neun"}));
        // The owner has the last word.
        list.OnCompare = [](int, int, qintptr, int& compare) { compare = -compare; };
        list.SortItems();
        QCOMPARE(shown(list), (QList<QByteArray>{"neun", "zehn"}));
    }

    void parentEntryStaysFirst()
    {
        const QByteArray f = folder();
        writeFile(f + "/a");
        writeFile(f + "/b");
        TShellList list;
        list.SetShowParentFolder(true);
        list.SetPathBytes(f);
        QCOMPARE(shown(list).first(), QByteArray(".."));
        list.SortByColumn(0); // descending
        QCOMPARE(shown(list), (QList<QByteArray>{"..", "b", "a"}));
        // It is never selected by SelectAll and never named.
        list.SelectAll();
        QCOMPARE(list.SelCount(), 2);
        QCOMPARE(list.SelectedNames(), (TFileNames{"b", "a"}));
    }

    void sortColumnBeyondTheColumns()
    {
        TShellList list;
        const QByteArray f = folder();
        writeFile(f + "/x");
        writeFile(f + "/y");
        list.SetPathBytes(f);
        list.SortByColumn(3);
        list.SetDetails(false); // one column left
        QCOMPARE(list.SortColumn(), 0);
    }

    void selectionKeptByName()
    {
        const QByteArray f = folder();
        for (const char* name : {"eins", "zwei", "drei", "\xff-vier"})
            writeFile(f + '/' + name);
        TShellList list;
        list.SetPathBytes(f);
        for (const char* name : {"zwei", "\xff-vier"})
            QVERIFY(list.SelectItemByID(TIdList::fromItems({QByteArray("F") + name})) >= 0);
        QCOMPARE(list.SelectedNames(), (TFileNames{"zwei", "\xff-vier"}));
        // One of them goes, one comes; after a refresh the other is selected again, and
        // the names are what is selected now.
        QVERIFY(QFile::remove(QFile::decodeName(f + "/zwei")));
        writeFile(f + "/fünf");
        // The names are looked up in what the refresh read: the folder is read once, and
        // not once more for each name that is gone (a stall in a large folder).
        std::atomic_int reads = 0;
        const QByteArray leaf = f.mid(f.lastIndexOf('/'));
        platform::setFolderOpenHook([&](int, std::string_view name) {
            if (name.ends_with(std::string_view(leaf.constData(), size_t(leaf.size()))))
                ++reads;
            return true;
        });
        list.FullRefresh();
        platform::setFolderOpenHook({});
        QCOMPARE(reads.load(), 1);
        QCOMPARE(list.SelCount(), 1);
        QCOMPARE(list.ItemPath(list.Selected()), f + "/\xff-vier");
        QCOMPARE(list.SelectedNames(), TFileNames{"\xff-vier"});
        QCOMPARE(list.ItemFocused(), list.Selected());
    }

    void arrowStaysOnTheSortedColumn()
    {
        const QByteArray f = folder();
        writeFile(f + "/a");
        writeFile(f + "/b");
        TShellList list;
        list.resize(800, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.SetPathBytes(f);
        list.SortByColumn(2);
        list.SortByColumn(2);
        TListHeader* header = list.Header();
        const auto arrowAt = [&](int section) {
            const QRect r = header->BitmapRect(section);
            if (r.isEmpty())
                return QImage();
            return header->grab().toImage().copy(r).convertToFormat(QImage::Format_RGB32);
        };
        const QImage down = list.ArrowDown().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(arrowAt(2), down);
        QVERIFY(arrowAt(0).isNull() && arrowAt(1).isNull());
        // The user widens the column before it: the arrow moves with its section.
        const QRect before = header->BitmapRect(2);
        header->resizeSection(1, header->sectionSize(1) + 40);
        QCoreApplication::processEvents();
        QCOMPARE(header->BitmapRect(2).left(), before.left() + 40);
        QCOMPARE(arrowAt(2), down);
        // The arrows themselves: grey triangles four rows high on the button face.
        const QRgb grey = qRgb(160, 160, 164);
        QCOMPARE(list.ArrowUp().pixel(3, 1), grey);
        QCOMPARE(list.ArrowUp().pixel(0, 4), grey);
        QVERIFY(list.ArrowUp().pixel(0, 3) != grey);
        QCOMPARE(list.ArrowDown().pixel(3, 6), grey);
        QCOMPARE(list.ArrowDown().pixel(7, 3), grey);
    }

    void modelStaysConsistent()
    {
        const QByteArray f = folder();
        for (int i = 0; i < 50; ++i)
            writeFile(f + "/d" + QByteArray::number(i));
        TShellList list;
        QAbstractItemModelTester tester(list.Model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.SetPathBytes(f);
        list.SortByColumn(1);
        list.SortByColumn(0);
        QVERIFY(QFile::remove(QFile::decodeName(f + "/d7")));
        list.IncrementalRefresh();
        QCOMPARE(list.ItemCount(), 49);
        list.SetDetails(false);
        list.SetPathBytes(m_base);
    }

    void filesRemovedWhileTheListFills()
    {
        // Another program removes files while the list reads: every item names a file
        // of that folder, and nothing is shown twice.
        const QByteArray f = folder();
        for (int i = 0; i < 200; ++i)
            writeFile(f + "/d" + QByteArray::number(i));
        TShellList list;
        int added = 0;
        list.OnAddItem = [&](TWideListItem&, bool&) {
            if (++added == 50)
                for (int i = 100; i < 200; ++i)
                    QFile::remove(QFile::decodeName(f + "/d" + QByteArray::number(i)));
        };
        list.SetPathBytes(f);
        QSet<QByteArray> seen;
        for (const QByteArray& name : shown(list)) {
            QVERIFY(name.startsWith('d'));
            QVERIFY(!seen.contains(name));
            seen.insert(name);
        }
        QVERIFY(list.ItemCount() >= 100);
        list.FullRefresh();
        QCOMPARE(list.ItemCount(), 100);
    }
};

QTEST_MAIN(TestShellList)
#include "tst_shelllist.moc"
