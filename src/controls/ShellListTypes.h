#pragma once
// The words of the folder contents list: how it shows its items, what a drop may do,
// where a background picture goes, and the kinds of operation it reports.

#include <QFlags>

enum TViewStyle
{
    vsIcon,
    vsSmallIcon,
    vsList,
    vsReport
};

// The drop effects a list offers and accepts: copy 1, move 2, link 4.
enum TCopyMode
{
    cmDefault, // copy, move and link
    cmCopy,
    cmMove,
    cmLink
};

enum TBackgroundImageStyle
{
    bisLeftTop,
    bisRightBottom,
    bisTiled
};

// What a finished operation did, reported to OnOperation and to the shell link.
enum TShellOperation : unsigned short
{
    soCopy = 1 << 0,
    soMove = 1 << 1,
    soDragSource = 1 << 2,
    soDropTarget = 1 << 3,
    soVanished = 1 << 4,
    soPaste = 1 << 5,
    soDelete = 1 << 6,
    soRemoved = 1 << 7,
    soFromClipboard = 1 << 8,
    soRename = 1 << 9,
};
Q_DECLARE_FLAGS(TShellOperations, TShellOperation)
Q_DECLARE_OPERATORS_FOR_FLAGS(TShellOperations)
