#include "shell/IDComparer.h"

#include "platform/PathAt.h"
#include "platform/VolumeSpace.h"
#include "shell/NameCollation.h"
#include "shell/ShellFolderObject.h"
#include "shell/ShellNamespace.h"

#include <QHash>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {

namespace {

int sign(int c)
{
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// A folder held open while its items' values are read relative to it.
class OpenFolder
{
public:
    explicit OpenFolder(const QByteArray& path)
    {
        if (path.isEmpty())
            return;
        const platform::PathAt at(path.toStdString());
        m_fd = ::openat(at.dir(), at.name(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    ~OpenFolder()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // The facts of the child `name` (NUL-terminated).
    ObjectFacts factsOf(const char* name) const
    {
        struct stat st;
        if (m_fd < 0 || ::fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return ObjectFacts();
        return FactsFromStat(st);
    }

private:
    int m_fd = -1;
};

// Sizes and dates are read from the disk; the name and the texts need the kind only.
bool needsFacts(ColumnOrder order)
{
    return order == ColumnOrder::Size || order == ColumnOrder::Date;
}

OrderFacts orderFacts(ColumnOrder order, const ShellLocation& place, const ObjectFacts& facts)
{
    OrderFacts o;
    o.valid = true;
    o.isFolder = facts.isFolder;
    o.kind = place.kind;
    switch (order) {
    case ColumnOrder::Size:
        o.value = facts.size;
        break;
    case ColumnOrder::Date:
        o.value = facts.modifiedMs;
        break;
    case ColumnOrder::TotalSpace:
    case ColumnOrder::FreeSpace: {
        // A drive whose size cannot be read (gone since) comes first.
        const std::optional<platform::VolumeSize> size = platform::volumeSize(place.path);
        o.value = !size                              ? -1
                  : order == ColumnOrder::TotalSpace ? qint64(size->total)
                                                     : qint64(size->free);
        break;
    }
    default:
        break;
    }
    return o;
}

// The text a column orders by before the name.
QString orderText(ColumnOrder order, const ShellLocation& place, const ObjectFacts& facts)
{
    return order == ColumnOrder::DriveType ? DriveTypeText(place.path) : TypeNameOf(place, facts);
}

} // namespace

ColumnOrder FileColumnOrder(int column)
{
    switch (column) {
    case 1:
        return ColumnOrder::Size;
    case 2:
        return ColumnOrder::Type;
    case 3:
        return ColumnOrder::Date;
    default:
        return ColumnOrder::Name;
    }
}

int CompareIDs(int column, const TIdList& a, const TIdList& b)
{
    return CompareIDs(FileColumnOrder(column), a, b);
}

int CompareIDs(ColumnOrder order, const TIdList& a, const TIdList& b)
{
    const std::optional<ShellLocation> pa = ResolveIDList(a);
    const std::optional<ShellLocation> pb = ResolveIDList(b);
    const auto factsOf = [order](const ShellLocation& place) {
        return needsFacts(order) ? FactsOf(place) : KindOf(place);
    };
    const ObjectFacts fa = pa ? factsOf(*pa) : ObjectFacts();
    const ObjectFacts fb = pb ? factsOf(*pb) : ObjectFacts();
    const OrderFacts oa = pa ? orderFacts(order, *pa, fa) : OrderFacts();
    const OrderFacts ob = pb ? orderFacts(order, *pb, fb) : OrderFacts();
    const auto text = [&](int field) {
        const NameCollation& collation = NameCollation::forThisThread();
        return field == 0 ? collation.compare(DisplayNameOf(*pa), DisplayNameOf(*pb))
                          : collation.compare(orderText(order, *pa, fa), orderText(order, *pb, fb));
    };
    const auto same = [&] { return pa->sameObject(*pb); };
    if (order == ColumnOrder::Name && pa && pb && same())
        return 0;
    const auto path = [&] {
        // Lists that name nothing go by their bytes; different names that read alike
        // (invalid UTF-8) by theirs.
        if (!pa || !pb) {
            const QByteArray ba = a.block().left(IDListSize(a));
            const QByteArray bb = b.block().left(IDListSize(b));
            return sign(ba.compare(bb));
        }
        return sign(pa->path.compare(pb->path));
    };
    return CompareOrder(order, oa, ob, text, same, path);
}

TIDComparer::TIDComparer(std::shared_ptr<const ShellFolderObject> folder, int column)
    : m_folder(std::move(folder)), m_order(m_folder->columnOrder(column))
{
}

void TIDComparer::prepare(std::size_t count, ItemAt itemAt)
{
    m_item = std::move(itemAt);
    m_entries.assign(count, Entry());
    m_keys.clear();
    const NameCollation& collation = NameCollation::forThisThread();
    const bool values = needsFacts(m_order);
    const ShellLocation& at = m_folder->location();
    // The entries of a file-system folder are read relative to it, by name.
    const bool entries = at.kind == ShellLocation::FileSystem || at.kind == ShellLocation::Trash;
    const OpenFolder folder(!entries                          ? QByteArray()
                            : at.kind == ShellLocation::Trash ? TrashFilesFolder()
                                                              : at.path);
    QHash<QString, std::uint32_t> typeKeys; // few distinct types: one key each
    ShellLocation entry;
    entry.kind = ShellLocation::FileSystem;
    entry.tag = item::Entry;
    for (std::size_t i = 0; i < count; ++i) {
        const TIdList* item = &m_item(i);
        if (item->isNull())
            continue;
        // An entry of the folder: its name and kind are in its data, its value is read
        // relative to the open folder. Anything else is placed as usual.
        const QByteArrayView data = item->itemData(0);
        const QByteArrayView name = IDListCount(*item) == 1 ? EntryNameOf(data) : QByteArrayView();
        std::optional<ShellLocation> place;
        ObjectFacts facts;
        if (entries && folder.isOpen() && !name.isEmpty() && !name.contains('/')) {
            entry.name = name.toByteArray();
            entry.listedType = data[0] == item::Listed ? DTTOIF(uchar(data[1])) & S_IFMT : 0;
            facts = values || entry.listedType == 0 ? folder.factsOf(entry.name.constData())
                                                    : KindOf(entry);
            if (!facts.exists)
                facts = KindOf(entry); // gone: ordered by what the listing knew
            place = entry;
        } else {
            place = m_folder->locate(*item);
            if (!place)
                continue;
            facts = values ? FactsOf(*place) : KindOf(*place);
        }
        Entry& e = m_entries[i];
        e.facts = orderFacts(m_order, *place, facts);
        e.nameKey = std::uint32_t(m_keys.size());
        collation.appendKey(DisplayNameOf(*place), m_keys);
        if (OrdersByText(m_order)) {
            const QString type = orderText(m_order, *place, facts);
            auto it = typeKeys.constFind(type);
            if (it == typeKeys.cend()) {
                it = typeKeys.insert(type, std::uint32_t(m_keys.size()));
                collation.appendKey(type, m_keys);
            }
            e.typeKey = *it;
        }
    }
}

int TIDComparer::compare(std::size_t a, std::size_t b) const
{
    const Entry& ea = m_entries[a];
    const Entry& eb = m_entries[b];
    const auto text = [&](int field) {
        const std::uint32_t ka = field == 0 ? ea.nameKey : ea.typeKey;
        const std::uint32_t kb = field == 0 ? eb.nameKey : eb.typeKey;
        return sign(std::strcmp(m_keys.data() + ka, m_keys.data() + kb));
    };
    // Ties of equal keys are rare: only then are the two places made again.
    const auto place = [this](std::size_t i) {
        const TIdList& item = m_item(i);
        return !item.isNull() ? m_folder->locate(item) : std::nullopt;
    };
    const auto same = [&] { return place(a)->sameObject(*place(b)); };
    const auto path = [&] {
        const std::optional<ShellLocation> pa = place(a), pb = place(b);
        if (!pa || !pb)
            return sign(m_item(a).block().compare(m_item(b).block()));
        return sign(pa->path.compare(pb->path));
    };
    return CompareOrder(m_order, ea.facts, eb.facts, text, same, path);
}

} // namespace shell
