#include "shell/IdList.h"

namespace shell {

namespace {

int countAt(const QByteArray& block, qsizetype pos)
{
    const auto* p = reinterpret_cast<const unsigned char*>(block.constData()) + pos;
    return int(p[0]) | (int(p[1]) << 8);
}

void appendCount(QByteArray& out, int cb)
{
    out.append(char(cb & 0xff));
    out.append(char((cb >> 8) & 0xff));
}

// Walks the list; on success gives the item count and the offset of the terminator.
// Fails on a count that runs past the block, a count of 1, or no terminator.
bool walk(const TIdList& list, int* count, qsizetype* terminator)
{
    if (list.isNull())
        return false;
    const QByteArray& b = list.block();
    qsizetype pos = 0;
    int n = 0;
    for (;;) {
        if (pos + 2 > b.size())
            return false;
        const int cb = countAt(b, pos);
        if (cb == 0)
            break;
        if (cb < 2 || pos + cb > b.size())
            return false;
        pos += cb;
        ++n;
    }
    if (count)
        *count = n;
    if (terminator)
        *terminator = pos;
    return true;
}

// Offset of item `index` in a well-formed list (index may equal the count).
qsizetype offsetOf(const QByteArray& b, int index)
{
    qsizetype pos = 0;
    for (int i = 0; i < index; ++i)
        pos += countAt(b, pos);
    return pos;
}

} // namespace

TIdList TIdList::empty()
{
    return fromBytes(QByteArray(2, '\0'));
}

TIdList TIdList::fromBytes(const QByteArray& block)
{
    TIdList l;
    // Present even when empty: an empty block is a malformed list, not an absent one.
    l.m_block = block.isNull() ? QByteArray("", 0) : block;
    Q_ASSERT(!l.m_block.isNull());
    return l;
}

TIdList TIdList::fromItems(const QList<QByteArray>& items)
{
    QByteArray out;
    for (const QByteArray& data : items) {
        const qsizetype cb = data.size() + 2;
        if (cb > 0xffff)
            return {};
        appendCount(out, int(cb));
        out.append(data);
    }
    appendCount(out, 0);
    return fromBytes(out);
}

QByteArrayView TIdList::itemData(int index) const
{
    int n = 0;
    if (index < 0 || !walk(*this, &n, nullptr) || index >= n)
        return {};
    const qsizetype pos = offsetOf(m_block, index);
    return QByteArrayView(m_block).sliced(pos + 2, countAt(m_block, pos) - 2);
}

QList<QByteArray> TIdList::items() const
{
    QList<QByteArray> out;
    int n = 0;
    if (!walk(*this, &n, nullptr))
        return out;
    qsizetype pos = 0;
    for (int i = 0; i < n; ++i) {
        const int cb = countAt(m_block, pos);
        out.append(m_block.mid(pos + 2, cb - 2));
        pos += cb;
    }
    return out;
}

TIdList ShellAllocZeroed(qsizetype size)
{
    if (size < 0)
        return {};
    return TIdList::fromBytes(QByteArray(size, '\0'));
}

int IDListSize(const TIdList& list)
{
    qsizetype end = 0;
    if (!walk(list, nullptr, &end))
        return 0;
    return int(end + 2);
}

int IDListCount(const TIdList& list)
{
    int n = 0;
    return walk(list, &n, nullptr) ? n : 0;
}

TIdList CopyIDList(const TIdList& list)
{
    const int size = IDListSize(list);
    if (size == 0)
        return {};
    return TIdList::fromBytes(list.block().left(size));
}

TIdList ConcatIDLists(const TIdList& first, const TIdList& second)
{
    if (first.isNull())
        return CopyIDList(second);
    if (second.isNull())
        return CopyIDList(first);
    const int a = IDListSize(first);
    const int b = IDListSize(second);
    if (a == 0 || b == 0)
        return {};
    QByteArray out = first.block().left(a - 2);
    out.append(second.block().left(b));
    return TIdList::fromBytes(out);
}

TIdList IDListItem(const TIdList& list, int index)
{
    int n = 0;
    if (index < 0 || !walk(list, &n, nullptr) || index > n)
        return {};
    if (index == n)
        return TIdList::empty();
    const QByteArray& b = list.block();
    const qsizetype pos = offsetOf(b, index);
    QByteArray out = b.mid(pos, countAt(b, pos));
    appendCount(out, 0);
    return TIdList::fromBytes(out);
}

TIdList IDListFirstItems(const TIdList& list, int n)
{
    int count = 0;
    if (n < 0 || !walk(list, &count, nullptr))
        return {};
    if (n >= count)
        return CopyIDList(list);
    QByteArray out = list.block().left(offsetOf(list.block(), n));
    appendCount(out, 0);
    return TIdList::fromBytes(out);
}

TIdList LastIDListItem(const TIdList& list)
{
    const int n = IDListCount(list);
    return n > 0 ? IDListItem(list, n - 1) : TIdList();
}

TIdList ParentIDList(const TIdList& list)
{
    const int n = IDListCount(list);
    return n > 0 ? IDListFirstItems(list, n - 1) : TIdList();
}

} // namespace shell
