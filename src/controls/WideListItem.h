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
#include <memory>

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

class TWideListItem
{
public:
    // Null: the list shows the object's own name (most items); set where the text
    // differs from it.
    QString Caption() const { return m_texts ? m_texts->caption : QString(); }
    void SetCaption(const QString& caption) { texts().caption = caption; }
    // The texts of the columns after the first, in column order; empty until filled.
    const QStringList& SubItems() const { return m_texts ? m_texts->subItems : noTexts(); }
    QStringList& SubItemsForWrite() { return texts().subItems; }

    std::int32_t ImageIndex = -1;
    std::int32_t OverlayIndex = -1;
    std::int32_t StateIndex = -1;
    bool Cut = false; // drawn ghosted
    bool DropTarget = false;
    TShellListItem Data;

private:
    // Most items of a large folder are never drawn: their texts are made only for those
    // that are, and for the few with a caption of their own.
    struct Texts
    {
        QString caption;
        QStringList subItems;
    };
    Texts& texts()
    {
        if (!m_texts)
            m_texts = std::make_unique<Texts>();
        return *m_texts;
    }
    static const QStringList& noTexts()
    {
        static const QStringList none;
        return none;
    }
    std::unique_ptr<Texts> m_texts;
};
