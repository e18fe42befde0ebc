// The contents list's order: a column and a direction, the namespace's own order for
// that column (or the texts, when the owner compares), and the arrow in the header.

#include "controls/ShellList.h"

#include "controls/ControlResources.h"
#include "shell/IDComparer.h"
#include "shell/ShellFolderObject.h"
#include "shell/ShellNavigator.h"

#include <QCollator>
#include <QPalette>
#include <algorithm>
#include <numeric>

using namespace shell;

namespace {

// One factor for all lists, set before every sort.
int g_compareFactor = 1;

int textOrder(const QString& a, const QString& b)
{
    thread_local QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    const int c = collator.compare(a, b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

int TShellList::CompareFactor()
{
    return g_compareFactor;
}

void TShellList::ColumnClick(int column)
{
    SortByColumn(column);
    TWideListView::ColumnClick(column);
}

void TShellList::SortByColumn(int index)
{
    const bool descending = index == m_sortColumn && !m_sortDescending;
    m_sortDescending = descending;
    g_compareFactor = descending ? -1 : 1;
    m_sortColumn = index;
    SortItems();
    UpdateSortArrows();
}

void TShellList::SortItems()
{
    if (m_sortColumn >= ListColumnCount())
        m_sortColumn = 0;
    g_compareFactor = m_sortDescending ? -1 : 1;
    const int n = ItemCount();
    if (n < 2)
        return;
    const std::shared_ptr<ShellFolderObject> folder = m_navigator->ShellFolder();
    if (m_sortColumn < m_columnCount && !OnCompare && folder) {
        std::vector<const TIdList*> ids(static_cast<size_t>(n));
        std::vector<char> parent(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            ids[size_t(i)] = &Item(i).Data.ItemID;
            parent[size_t(i)] = Item(i).Data.IsParentFolder;
        }
        ApplyOrder(NamespaceOrder(folder, ColumnMap(m_sortColumn), m_sortDescending, ids, parent));
        return;
    }
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    const qintptr data = m_sortColumn;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return CompareItems(a, b, data) < 0; });
    ApplyOrder(order);
}

std::vector<int> TShellList::NamespaceOrder(const std::shared_ptr<ShellFolderObject>& folder,
                                            int column, bool descending,
                                            const std::vector<const TIdList*>& ids,
                                            const std::vector<char>& parent)
{
    // The same rules as CompareItems, from keys made once per item: a sort of many
    // items touches no item, and it may run on any thread.
    TIDComparer comparer(folder, column);
    comparer.prepare(ids.size(), [&](size_t i) -> const TIdList& { return *ids[i]; });
    std::vector<int> order(ids.size());
    std::iota(order.begin(), order.end(), 0);
    const int factor = descending ? -1 : 1;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (parent[size_t(a)])
            return !parent[size_t(b)];
        if (parent[size_t(b)])
            return false;
        return int(qint16(comparer.compare(size_t(a), size_t(b)))) * factor < 0;
    });
    return order;
}

int TShellList::CompareItems(int index1, int index2, qintptr data)
{
    const TWideListItem& item1 = Item(index1);
    const TWideListItem& item2 = Item(index2);
    // The ".." entry stays first in either direction.
    if (item1.Data.IsParentFolder)
        return -1;
    if (item2.Data.IsParentFolder)
        return 1;
    if (data > 32) {
        const auto* folder = reinterpret_cast<const ShellFolderObject*>(data);
        const int answer =
            folder->compareIDs(ColumnMap(m_sortColumn), item1.Data.ItemID, item2.Data.ItemID);
        return int(qint16(answer & 0xffff)) * g_compareFactor;
    }
    const int column = int(data);
    int result = 0;
    if (column == 0) {
        result = textOrder(CaptionText(index1), CaptionText(index2));
    } else {
        for (const int i : {index1, index2}) {
            if (Item(i).SubItems().isEmpty())
                FillItemDetails(i);
        }
        result = textOrder(Item(index1).SubItems().value(column - 1),
                           Item(index2).SubItems().value(column - 1));
    }
    result *= g_compareFactor;
    if (OnCompare)
        OnCompare(index1, index2, data, result);
    return result;
}

void TShellList::UpdateSortArrows()
{
    if (ListColumnCount() == 0)
        return;
    for (int i = 0; i < ListColumnCount(); ++i) {
        Header()->SetSectionBitmap(
            i, i == m_sortColumn ? (m_sortDescending ? m_arrowDown : m_arrowUp) : QImage());
    }
}

QImage TShellList::LoadArrowBitmap(const QString& name)
{
    TControlResources::EnsureLoaded();
    const QImage resource(QStringLiteral(":/fegmann/") + name);
    if (resource.isNull()) {
        qWarning("TShellList: the bitmap %s is missing", qPrintable(name));
        return {};
    }
    // The resource's transparent colour (its bottom-left pixel) becomes the face of
    // the header's buttons.
    const QRgb face = QPalette().color(QPalette::Button).rgb();
    const QRgb transparent = resource.pixel(0, resource.height() - 1);
    QImage bitmap(resource.size(), QImage::Format_RGB32);
    bitmap.fill(face);
    for (int y = 0; y < std::min(8, resource.height()); ++y) {
        for (int x = 0; x < std::min(8, resource.width()); ++x) {
            const QRgb c = resource.pixel(x, y);
            bitmap.setPixel(x, y, c == transparent ? face : c);
        }
    }
    return bitmap;
}
