// TShellList over real folders, offscreen: what is listed with which options, the
// columns, the rule for setting the same path again, details read only for the items
// that are drawn, the order by every column and the arrow in the header, the selection
// kept by name, and folders that cannot be listed.

#include "controls/ShellList.h"
#include "platform/DirectorySearch.h"
#include "platform/MountTable.h"
#include "platform/NumberText.h"
#include "platform/VolumeSpace.h"
#include "shell/ShellNavigator.h"
#include "shell/ShellStartup.h"

#include "../shell/RawFiles.h"
#include "TestFolders.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSet>
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
        QCOMPARE(list.Column(0).Width, list.DefaultColumnWidth(QStringLiteral("Name"), 210));
        if (details) {
            QCOMPARE(list.Column(1).Alignment, 1);
            QCOMPARE(list.Column(1).Width, list.DefaultColumnWidth(QStringLiteral("Größe"), 91));
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
        // "Gesamtgröße" as the namespace gives it
        QCOMPARE(list.Column(2).Width, list.DefaultColumnWidth(QStringLiteral("Gesamtgröße"), 84));
        list.SetColumnWidth(1, 99);
        list.SetPathBytes(a);
        QCOMPARE(list.Column(1).Caption, QStringLiteral("Größe"));
        QCOMPARE(list.Column(1).Width, list.DefaultColumnWidth(QStringLiteral("Größe"), 91));
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

    void largeFolderIsListedInSteps_data()
    {
        // What the user does while a large folder is still being read.
        QTest::addColumn<QString>("during");
        QTest::newRow("nothing") << "nothing";
        QTest::newRow("a sort by size") << "sort";
        QTest::newRow("Ctrl+A") << "select all";
    }
    void largeFolderIsListedInSteps()
    {
        QFETCH(QString, during);
        // Made once for all rows: sparse files of sizes that differ, and a few folders.
        static const QByteArray f = [this] {
            const QByteArray path = folder();
            for (int i = 0; i < 50000; ++i)
                sparse(path + "/datei" + QByteArray::number(i), qint64(i % 9973) * 17);
            for (int i = 0; i < 50; ++i)
                ::mkdir(path + "/ordner" + QByteArray::number(i), 0755);
            return path;
        }();
        QSet<QByteArray> entries;
        for (const QString& name :
             QDir(QFile::decodeName(f)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            entries.insert(QFile::encodeName(name));
        QCOMPARE(entries.size(), 50050);

        TShellList list;
        list.resize(800, 600);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.SetPathBytes(f);
        // The window goes on while the rest is read: the first items are listed and
        // drawn before the last are in, and the list grows between turns of the loop.
        QVERIFY(list.Filling());
        const int first = list.ItemCount();
        QVERIFY2(first > 0 && first < entries.size(), QByteArray::number(first));
        paint(list);
        QVERIFY(list.Item(0).ImageIndex >= 0);
        QSet<int> counts;
        QTRY_VERIFY_WITH_TIMEOUT((counts.insert(list.ItemCount()), list.ItemCount() > first),
                                 60000);

        int selected = 0;
        if (during == u"sort") {
            list.SortByColumn(1);
            QVERIFY(list.Filling());
            // The items listed so far are in order at once.
            const auto byFolder = reinterpret_cast<qintptr>(list.Navigator().ShellFolder().get());
            for (int i = 1; i < list.ItemCount(); ++i) {
                QVERIFY2(list.CompareItems(i - 1, i, byFolder) <= 0,
                         qPrintable(list.CaptionText(i)));
            }
        } else if (during == u"select all") {
            QTest::keyClick(list.CurrentView(), Qt::Key_A, Qt::ControlModifier);
            QVERIFY(list.Filling());
            selected = list.ItemCount();
            QCOMPARE(list.SelCount(), selected);
            QCOMPARE(list.SelectedNames().size(), selected);
        }
        QTRY_VERIFY_WITH_TIMEOUT((counts.insert(list.ItemCount()), !list.Filling()), 120000);
        QVERIFY2(counts.size() > 2, qPrintable(QString::number(counts.size())));

        // Every entry once, nothing else, in the order of the column sorted by.
        const QList<QByteArray> names = shown(list);
        QCOMPARE(names.size(), entries.size());
        QCOMPARE(QSet<QByteArray>(names.begin(), names.end()), entries);
        QCOMPARE(list.SortColumn(), during == u"sort" ? 1 : 0);
        list.SortItems();
        QCOMPARE(shown(list), names);
        // A selection made while reading stays as it was: only what was listed then.
        QCOMPARE(list.SelCount(), selected);
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

    void defaultWidthsFitTexts_data()
    {
        // The list sorted by `caption`, showing a folder with a file of `size` bytes
        // (none for -1) or the drives.
        QTest::addColumn<bool>("drives");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<qint64>("size");
        QTest::newRow("Name") << false << "Name" << qint64(-1);
        QTest::newRow("Größe of 160 MB") << false << "Größe" << 163840 * KiB;
        QTest::newRow("Größe of 9.5 GB") << false << "Größe" << 19 * GiB / 2;
        QTest::newRow("Typ") << false << "Typ" << qint64(-1);
        QTest::newRow("Geändert am") << false << "Geändert am" << qint64(-1);
        QTest::newRow("drives: Name") << true << "Name" << qint64(-1);
        QTest::newRow("drives: Typ") << true << "Typ" << qint64(-1);
        QTest::newRow("drives: Gesamtgröße") << true << "Gesamtgröße" << qint64(-1);
        QTest::newRow("drives: Freier Speicher") << true << "Freier Speicher" << qint64(-1);
    }
    void defaultWidthsFitTexts()
    {
        // At the default widths every cell and the caption show whole, the caption
        // beside the sort arrow.
        QFETCH(bool, drives);
        QFETCH(QString, caption);
        QFETCH(qint64, size);
        const QByteArray f = folder();
        writeFile(f + "/notiz.txt", "x");
        if (size >= 0)
            sparse(f + "/gross.bin", size);
        TShellList list;
        list.SetPathBytes(drives ? QByteArray() : f);
        list.resize(1200, 300);
        paint(list);
        int column = -1;
        for (int k = 0; k < list.ListColumnCount(); ++k) {
            if (list.Column(k).Caption == caption)
                column = k;
        }
        QVERIFY(column >= 0);
        list.SortByColumn(column);
        paint(list);
        TListHeader* header = list.Header();
        QVERIFY(!header->BitmapRect(column).isEmpty());
        const QRect captionRect = header->CaptionRect(column);
        QVERIFY2(!captionRect.intersects(header->BitmapRect(column)),
                 "the arrow covers the caption");
        QVERIFY2(header->fontMetrics().horizontalAdvance(caption) <= captionRect.width(),
                 "the caption is cut");
        // What the cells need to show whole, as the view measures it.
        const QAbstractItemView* view = list.ReportView();
        QVERIFY2(view->sizeHintForColumn(column) <= list.Column(column).Width,
                 qPrintable(QString::number(view->sizeHintForColumn(column)) + QStringLiteral(" > ") +
                            QString::number(list.Column(column).Width)));
    }

    void typeNamesInGerman_data()
    {
        // Run under LC_ALL=C.UTF-8 (see CMakeLists.txt): the interface is German whatever
        // the locale.
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("type");
        QTest::newRow("text") << QByteArray("notiz.txt") << "Einfaches Textdokument";
        QTest::newRow("picture") << QByteArray("bild.png") << "PNG-Bild";
        QTest::newRow("unknown") << QByteArray("daten.qqqq") << "unbekannt";
        QTest::newRow("link") << QByteArray("verweis") << "Symbolische Verknüpfung";
    }
    void typeNamesInGerman()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, type);
        const QByteArray f = folder();
        if (name == "verweis")
            QCOMPARE(::symlink("notiz.txt", (f + '/' + name).constData()), 0);
        else
            writeFile(f + '/' + name, "x");
        TShellList list;
        list.SetPathBytes(f);
        list.resize(800, 300);
        paint(list);
        QCOMPARE(list.Column(2).Caption, QStringLiteral("Typ"));
        QCOMPARE(list.Item(0).SubItems().value(1), type);
        // Numbers keep the system's decimal separator.
        QCOMPARE(platform::fixed2(2.5), QLocale::system().toString(2.5, 'f', 2));
    }
};

QTEST_MAIN(TestShellList)
#include "tst_shelllist.moc"
