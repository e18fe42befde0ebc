#pragma once
// The kinds of change that the change notifier reports, their set, and the event codes
// that travel in a change report. Each kind has one code, used both to ask for the kind
// and to recognise it in a report; a code that names no kind is reported as neUnknown.

#include <cstdint>
#include <initializer_list>

namespace threads {

enum TNotificationEvent
{
    neAssociationChange = 0,
    neAttributesChange,
    neFileChange,
    neFileCreate,
    neFileDelete,
    neFileRename,
    neDriveAdd,
    neDriveRemove,
    neShellDriveAdd,
    neDriveSpaceChange,
    neMediaInsert,
    neMediaRemove,
    neFolderCreate,
    neFolderDelete,
    neFolderRename,
    neFolderUpdate,
    neNetShare,
    neNetUnShare,
    neServerDisconnect,
    neImageListChange,
    neUnknown,
};
constexpr int kNotificationEventCount = 21;

// The event codes of change reports.
enum : std::uint32_t
{
    SHCNE_RENAMEITEM = 0x00000001,
    SHCNE_CREATE = 0x00000002,
    SHCNE_DELETE = 0x00000004,
    SHCNE_MKDIR = 0x00000008,
    SHCNE_RMDIR = 0x00000010,
    SHCNE_MEDIAINSERTED = 0x00000020,
    SHCNE_MEDIAREMOVED = 0x00000040,
    SHCNE_DRIVEREMOVED = 0x00000080,
    SHCNE_DRIVEADD = 0x00000100,
    SHCNE_NETSHARE = 0x00000200,
    SHCNE_NETUNSHARE = 0x00000400,
    SHCNE_ATTRIBUTES = 0x00000800,
    SHCNE_UPDATEDIR = 0x00001000,
    SHCNE_UPDATEITEM = 0x00002000,
    SHCNE_SERVERDISCONNECT = 0x00004000,
    SHCNE_UPDATEIMAGE = 0x00008000,
    SHCNE_DRIVEADDGUI = 0x00010000,
    SHCNE_RENAMEFOLDER = 0x00020000,
    SHCNE_FREESPACE = 0x00040000,
    SHCNE_ASSOCCHANGED = 0x08000000,
    SHCNE_ALLEVENTS = 0x7FFFFFFF,
    SHCNE_INTERRUPT = 0x80000000,
};

constexpr std::uint32_t ShellEventCode(TNotificationEvent event)
{
    constexpr std::uint32_t kCodes[kNotificationEventCount] = {
        SHCNE_ASSOCCHANGED, SHCNE_ATTRIBUTES, SHCNE_UPDATEITEM,       SHCNE_CREATE,
        SHCNE_DELETE,       SHCNE_RENAMEITEM, SHCNE_DRIVEADD,         SHCNE_DRIVEREMOVED,
        SHCNE_DRIVEADDGUI,  SHCNE_FREESPACE,  SHCNE_MEDIAINSERTED,    SHCNE_MEDIAREMOVED,
        SHCNE_MKDIR,        SHCNE_RMDIR,      SHCNE_RENAMEFOLDER,     SHCNE_UPDATEDIR,
        SHCNE_NETSHARE,     SHCNE_NETUNSHARE, SHCNE_SERVERDISCONNECT, SHCNE_UPDATEIMAGE,
        SHCNE_ALLEVENTS};
    return unsigned(event) < unsigned(kNotificationEventCount) ? kCodes[event] : 0;
}

// The kind of a reported code (its interrupt marker already cleared).
constexpr TNotificationEvent NotificationEventOf(std::uint32_t code)
{
    for (int e = 0; e < neUnknown; ++e) {
        if (ShellEventCode(TNotificationEvent(e)) == code)
            return TNotificationEvent(e);
    }
    return neUnknown;
}

// A set of kinds, bit n for the kind of ordinal n.
class TNotificationEvents
{
public:
    static constexpr std::uint32_t kAll = (1u << kNotificationEventCount) - 1;

    constexpr TNotificationEvents() = default;
    constexpr TNotificationEvents(std::initializer_list<TNotificationEvent> events)
    {
        for (TNotificationEvent e : events)
            m_mask |= bit(e);
    }
    static constexpr TNotificationEvents fromMask(std::uint32_t mask)
    {
        TNotificationEvents set;
        set.m_mask = mask & kAll;
        return set;
    }

    constexpr std::uint32_t mask() const { return m_mask; }
    constexpr bool contains(TNotificationEvent e) const { return (m_mask & bit(e)) != 0; }
    constexpr bool isEmpty() const { return m_mask == 0; }
    // The codes to ask for: the code of every member.
    constexpr std::uint32_t shellEvents() const
    {
        std::uint32_t codes = 0;
        for (int e = 0; e < kNotificationEventCount; ++e) {
            if (contains(TNotificationEvent(e)))
                codes |= ShellEventCode(TNotificationEvent(e));
        }
        return codes;
    }

    friend constexpr bool operator==(TNotificationEvents, TNotificationEvents) = default;

private:
    static constexpr std::uint32_t bit(TNotificationEvent e)
    {
        return unsigned(e) < unsigned(kNotificationEventCount) ? 1u << unsigned(e) : 0;
    }

    std::uint32_t m_mask = 0;
};

} // namespace threads
