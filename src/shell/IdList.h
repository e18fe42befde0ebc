#pragma once
// Identifier lists: the compact byte names of namespace objects. A list is a block of
// items, each a 16-bit little-endian byte count (the count included) and opaque data,
// ended by a zero count; the empty list names the desktop. TIdList owns its block, so
// no caller ever frees one; a default-constructed TIdList is the absent list.
//
// Every operation walks the block within its own length: a count that runs past the
// end, a count of 1 or a missing terminator makes the list malformed, and a malformed
// list is handled like an absent one (size 0, count 0, absent results).

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <cstdint>

namespace shell {

class TIdList
{
public:
    TIdList() = default; // absent
    // The desktop's list: a lone terminator.
    static TIdList empty();
    // Takes a block as it stands, without checking it (lists read from elsewhere).
    static TIdList fromBytes(const QByteArray& block);
    // Builds a list from the data of its items (each without its count).
    // Absent when an item's data does not fit a 16-bit count.
    static TIdList fromItems(const QList<QByteArray>& items);

    bool isNull() const { return m_block.isNull(); }
    explicit operator bool() const { return !m_block.isNull(); }
    // The whole block as stored (may be longer than the list it holds).
    const QByteArray& block() const { return m_block; }

    // Item data without its count; empty view for an index out of range.
    QByteArrayView itemData(int index) const;
    // All items' data; empty for a malformed or absent list.
    QList<QByteArray> items() const;

private:
    QByteArray m_block; // null for the absent list: lists are many, a flag would cost 8 bytes
};

// A block of `size` zero bytes; absent for a negative size.
TIdList ShellAllocZeroed(qsizetype size);
// Sum of all counts plus 2 for the terminator; 0 for an absent or malformed list.
int IDListSize(const TIdList& list);
// Items before the terminator; 0 for an absent, empty or malformed list.
int IDListCount(const TIdList& list);
// A copy of IDListSize bytes; absent for an absent or malformed list.
TIdList CopyIDList(const TIdList& list);
// The items of `first` followed by those of `second`; a copy of the present one when the
// other is absent; absent when both are absent or either is malformed.
TIdList ConcatIDLists(const TIdList& first, const TIdList& second);
// The item at `index` with a terminator; the empty list when `index` equals the count;
// absent for a larger or negative index, or an absent or malformed list.
TIdList IDListItem(const TIdList& list, int index);
// The first `n` items; a full copy when the list has `n` items or fewer; the empty list
// for n = 0; absent for a negative n or an absent or malformed list.
TIdList IDListFirstItems(const TIdList& list, int n);
// The last item; absent for an empty list.
TIdList LastIDListItem(const TIdList& list);
// All items but the last: the parent of an absolute list. Absent for an empty list.
TIdList ParentIDList(const TIdList& list);

} // namespace shell
