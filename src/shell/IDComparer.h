#pragma once
// The order of namespace objects by a detail column, for two of them (CompareIDs) and
// for all items of one folder at once (TIDComparer). Both follow one rule: by name,
// folders come first and names go by the user's language, blind to case; by a value
// (size, date, a drive's total or free bytes) the values decide and the name breaks
// ties; by a text (a type) the text, then the name; names that read alike but differ in
// their bytes stay apart by their bytes. Each folder says what its columns order by.
// A whole folder is sorted from facts gathered once per item: each item's size or time
// is read once, relative to the open folder, and each name gets one sort key.

#include "shell/IdList.h"
#include "shell/ShellNamespace.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace shell {

class ShellFolderObject;

// What ordering by a column needs to know of one object.
struct OrderFacts
{
    bool valid = false; // the list names an object
    bool isFolder = false;
    int kind = 0;     // ShellLocation::Kind
    qint64 value = 0; // the size (-1 for folders), the time or the bytes of a drive
};

inline bool OrdersByValue(ColumnOrder order)
{
    return order == ColumnOrder::Size || order == ColumnOrder::Date ||
           order == ColumnOrder::TotalSpace || order == ColumnOrder::FreeSpace;
}
inline bool OrdersByText(ColumnOrder order)
{
    return order == ColumnOrder::Type || order == ColumnOrder::DriveType;
}

// The rule: `textOrder(0)` compares the two display names, `textOrder(1)` the two texts
// of the column; `sameObject` and `pathOrder` tell the two objects apart by what they are.
template <typename Text, typename Same, typename Path>
int CompareOrder(ColumnOrder order, const OrderFacts& a, const OrderFacts& b, Text textOrder,
                 Same sameObject, Path pathOrder)
{
    if (!a.valid || !b.valid)
        return a.valid == b.valid ? pathOrder() : (a.valid ? -1 : 1);
    auto byName = [&] {
        // One object has one kind and one name: only names that read alike can be the
        // same object, so that question comes last.
        if (a.isFolder != b.isFolder)
            return a.isFolder ? -1 : 1;
        if (const int c = textOrder(0); c != 0)
            return c;
        if (sameObject())
            return 0;
        if (a.kind != b.kind)
            return a.kind < b.kind ? -1 : 1;
        return pathOrder();
    };
    if (OrdersByValue(order) && a.value != b.value)
        return a.value < b.value ? -1 : 1;
    if (OrdersByText(order)) {
        if (const int c = textOrder(1); c != 0)
            return c;
    }
    return byName();
}

// Compares the items of one folder by a column: prepare once, then compare by index.
class TIDComparer
{
public:
    // `column` is a column of `folder`, which says what it orders by.
    TIDComparer(std::shared_ptr<const ShellFolderObject> folder, int column);
    // The relative list of item `index`; it must stay as it is while the comparer lives.
    using ItemAt = std::function<const TIdList&(std::size_t index)>;
    // Gathers the facts of `count` items of the folder. Absent lists name nothing.
    void prepare(std::size_t count, ItemAt item);
    // -1, 0 or 1, as CompareIDs would answer for the two items.
    int compare(std::size_t a, std::size_t b) const;

private:
    struct Entry
    {
        OrderFacts facts;
        std::uint32_t nameKey = 0; // offsets into m_keys
        std::uint32_t typeKey = 0;
    };

    std::shared_ptr<const ShellFolderObject> m_folder;
    ColumnOrder m_order;
    ItemAt m_item;
    std::vector<Entry> m_entries;
    std::string m_keys;
};

} // namespace shell
