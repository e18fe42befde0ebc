#pragma once
// TWideListView is the list view under the contents list: items with a caption, column
// texts, image, overlay and state images and the cut and drop-target states; columns
// with caption, alignment and width; a selection; an image request each time an item
// is drawn; in-place editing of captions; sorting by a comparison. Report view is a tree
// view with a header and no root decoration, the icon, small-icon and list styles are a
// list view in the matching mode; both share one model and one selection. The list owns
// its items, the model and the views.

#include "controls/ListHeader.h"
#include "controls/ShellListTypes.h"
#include "controls/WideListItem.h"

#include <QHash>
#include <QImage>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QAbstractItemView;
class QListView;
class QStackedLayout;
class QTreeView;
class TWideListModel;

// A column of the report view.
struct TListColumn
{
    QString Caption;
    int Alignment = 0; // 0 left, 1 right, 2 centre
    int Width = 50;
};

class TWideListView : public QWidget
{
    Q_OBJECT
public:
    explicit TWideListView(QWidget* parent = nullptr);
    ~TWideListView() override;

    // Items, in list order.
    int ItemCount() const { return int(m_items.size()); }
    TWideListItem& Item(int index) { return *m_items[size_t(index)]; }
    const TWideListItem& Item(int index) const { return *m_items[size_t(index)]; }
    // Appends an item; returns its index.
    int AddItem(std::unique_ptr<TWideListItem> item);
    // Appends items in one step; returns the index of the first.
    int AddItems(std::vector<std::unique_ptr<TWideListItem>> items);
    void DeleteItem(int index);
    // Deletes the items at the given indexes, in one pass.
    void DeleteItems(std::vector<int> indexes);
    void ClearItems();
    // The item's texts, images or states changed: it is drawn again.
    void UpdateItem(int index);
    // The store grows by this many items at a time.
    void SetAllocBy(int step) { m_allocBy = std::max(step, 1); }

    // Changes between BeginUpdate and EndUpdate are shown at the end, all at once; a
    // list cleared inside the bracket is handed to the views anew at its end.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return m_updateCount > 0; }

    // Columns of the report view.
    int ListColumnCount() const { return int(m_columns.size()); }
    const TListColumn& Column(int index) const { return m_columns[size_t(index)]; }
    void AddColumn(const QString& caption, int alignment, int width);
    void ClearColumns();
    int ColumnWidth(int index) const;
    void SetColumnWidth(int index, int width);

    // Selection and focus.
    int SelCount() const;
    // The first selected item in list order; -1 for none.
    int Selected() const;
    std::vector<int> SelectedIndexes() const;
    bool IsSelected(int index) const;
    void SetSelected(int index, bool on);
    void ClearSelection();
    int ItemFocused() const;
    void SetItemFocused(int index);
    // Scrolls until the item is wholly in view.
    void MakeVisible(int index);
    bool MultiSelect() const { return m_multiSelect; }
    void SetMultiSelect(bool on);
    bool RowSelect() const { return m_rowSelect; }
    void SetRowSelect(bool on);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool on) { m_readOnly = on; }
    bool AutoArrange() const { return m_autoArrange; }
    void SetAutoArrange(bool on);

    // The item under a point of this widget; -1 on empty space.
    int ItemAt(const QPoint& point) const;
    // The item's bounds in this widget's coordinates (the row in report view).
    QRect ItemRect(int index) const;
    // The text an item shows: its own caption, or the object's name.
    QString CaptionText(int index) const;
    // Starts editing the item's caption in place.
    void EditCaption(int index);
    bool IsEditing() const;

    TViewStyle ViewStyle() const { return m_viewStyle; }
    virtual void SetViewStyle(TViewStyle style);
    QAbstractItemView* CurrentView() const;
    QTreeView* ReportView() const { return m_report; }
    TListHeader* Header() const { return m_header; }
    QAbstractItemModel* Model() const;
    QItemSelectionModel* SelectionModel() const { return m_selection; }

    // Reorders the items: the item at old index order[i] moves to index i. Selection
    // and focus move with their items.
    void ApplyOrder(const std::vector<int>& order);

    // The images have changed (another list, another size): items are drawn anew.
    void ImagesChanged();
    // One image of the list was replaced: the items that show it are drawn anew.
    void ImageChanged(int imageIndex);
    // Where the item's state image was drawn last, in this widget's coordinates; empty
    // when the list shows no state images or the item was not drawn with one yet.
    QRect StateImageRect(int index) const;

    // Events of the base list view.
    std::function<void(int column)> OnColumnClick;
    std::function<void(int index)> OnEdited;

protected:
    // A click on a column's header; fires OnColumnClick.
    virtual void ColumnClick(int column)
    {
        if (OnColumnClick)
            OnColumnClick(column);
    }
    // The item is about to be drawn and needs its image (the list's image request).
    virtual void ImageRequest(int index) { Q_UNUSED(index); }
    // The caption shown for an item whose Caption is null.
    virtual QString DefaultCaption(int index) const
    {
        Q_UNUSED(index);
        return {};
    }
    // Image `imageIndex` of the image list for the view style; null when there is none.
    virtual QImage ItemImage(int imageIndex, bool large) const;
    virtual QImage OverlayImage(int overlayIndex, int size) const;
    // The state images drawn left of the icons: their size, empty when the list shows
    // none, and image `stateIndex` (an item's StateIndex).
    virtual QSize StateImageSize() const { return {}; }
    virtual QImage StateImage(int stateIndex) const
    {
        Q_UNUSED(stateIndex);
        return {};
    }
    virtual QColor ItemTextColor(int index) const
    {
        Q_UNUSED(index);
        return {};
    }
    // An item's text or state changed; `textOnly` when only its text did.
    virtual void ItemChanged(int index, bool textOnly)
    {
        Q_UNUSED(index);
        Q_UNUSED(textOnly);
    }
    // The selection changed as a whole (the user, a selection of all, a clearing).
    virtual void SelectionChanged() {}
    // Whether an edit of the item's caption may begin.
    virtual bool CanEdit(int index)
    {
        Q_UNUSED(index);
        return !m_readOnly;
    }
    // An in-place edit ended with `text`; true when the caption took it.
    virtual bool CaptionEdited(int index, const QString& text);
    // Every event of the views and their viewports passes here first; true consumes it.
    virtual bool ViewEvent(QObject* watched, QEvent* event)
    {
        Q_UNUSED(watched);
        Q_UNUSED(event);
        return false;
    }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TWideListModel;
    QVariant itemIcon(int index);
    void applyColumnWidths();
    void setUpView(QAbstractItemView* view);
    void createIconView();
    void applyViewStyle();

    std::vector<std::unique_ptr<TWideListItem>> m_items;
    std::vector<TListColumn> m_columns;
    std::unique_ptr<TWideListModel> m_model;
    QItemSelectionModel* m_selection = nullptr;
    QStackedLayout* m_stack = nullptr;
    QTreeView* m_report = nullptr;
    TListHeader* m_header = nullptr;
    QListView* m_icons = nullptr; // made when first needed
    TViewStyle m_viewStyle = vsReport;
    int m_updateCount = 0;
    bool m_resetting = false; // the model is being reset inside the bracket
    bool m_editing = false;
    bool m_multiSelect = true;
    bool m_rowSelect = false;
    bool m_readOnly = false;
    bool m_autoArrange = true;
    int m_allocBy = 32;
    mutable QHash<quint64, QPixmap> m_pixmaps; // composed item images
};
