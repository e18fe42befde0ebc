#pragma once
// The decisions of the contents list's drag and drop that need no widget: which effects a
// CopyMode and the dragged objects allow, which effect a drop takes by its keys and file
// systems, whether a running drag goes on, and where a drag near an edge scrolls. The
// list asks; nothing here keeps state.

#include "controls/ShellListTypes.h"

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <cstdint>

class TDragDropRules
{
public:
    // Margins of the scroll zones inside the client area and the pause between two steps.
    static constexpr int kScrollZoneX = 25;
    static constexpr int kScrollZoneY = 20;
    static constexpr qint64 kScrollIntervalMs = 100;

    // cmDefault: copy, move and link; cmCopy, cmMove, cmLink: that one alone.
    static Qt::DropActions CopyModeEffects(TCopyMode mode);
    // What the namespace's attribute bits of an object allow: copy and move by its
    // capabilities, a link to any object of a file system.
    static Qt::DropActions EffectsOfAttributes(std::uint32_t attributes);

    // The effect of a drop among `allowed`: Ctrl+Shift links, Shift moves, Ctrl copies
    // (none when the keys ask for one that is not allowed); without keys a move on one
    // file system and a copy across, else the first allowed of copy, move, link.
    static Qt::DropAction ChooseEffect(Qt::DropActions allowed, Qt::KeyboardModifiers keys,
                                       bool sameFileSystem);
    // Whether the folders `source` and `destination` (existing paths) share a file system.
    static bool SameFileSystem(const QByteArray& source, const QByteArray& destination);

    enum class DragContinue
    {
        Continue,
        Drop,
        Cancel
    };
    // A running drag: Escape or another mouse button cancels, the drag button released
    // drops, held it goes on.
    static DragContinue QueryContinueDrag(bool escapePressed, Qt::MouseButtons buttons,
                                          Qt::MouseButton dragButton);

    // The scroll steps for a point of the client area: -1, 0 or +1 each way.
    struct ScrollStep
    {
        int dx = 0;
        int dy = 0;
    };
    static ScrollStep ScrollDirection(const QRect& client, const QPoint& point);
};
