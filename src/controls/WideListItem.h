#pragma once
// One item of the contents list: what the list view draws (caption, column texts,
// image, overlay and state images, the cut and drop-target states) and the list's
// record of the namespace object behind it. The list owns its items; each item owns
// its record and the record its identifier list. Selected and focused are the view's
// selection, not stored here.

#include "shell/IdList.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

// The record of the object an item shows.
struct TShellListItem
{
    shell::TIdList ItemID;       // relative to the shown folder; absent for ".."
    std::int32_t Present = 1;    // set again by each incremental refresh
    bool IsParentFolder = false; // the ".." entry
    bool Compressed = false;
    bool Encrypted = false;
    QByteArray FullPath; // the item's path, once asked for
};

struct TWideListItem
{
    // Null: the list shows the object's own name (most items); set where the text
    // differs from it.
    QString Caption;
    QStringList SubItems;
    std::int32_t ImageIndex = -1;
    std::int32_t OverlayIndex = -1;
    std::int32_t StateIndex = -1;
    bool Cut = false; // drawn ghosted
    bool DropTarget = false;
    TShellListItem Data;
};
