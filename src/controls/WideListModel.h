#pragma once
// The item model behind the contents list's views: one row per list item, one column
// per list column. It holds nothing of its own; every answer comes from the list, and
// asking for an item's image is the list's cue that the item is being drawn.

#include <QAbstractTableModel>

class TWideListView;

class TWideListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // What the views' delegate asks besides Qt's roles: an item's state image (a
    // QImage, null for none) and the size of the list's state images (empty for none).
    enum Role
    {
        StateImageRole = Qt::UserRole + 1,
        StateImageSizeRole,
    };

    explicit TWideListModel(TWideListView& list);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;

private:
    friend class TWideListView;
    TWideListView& m_list;
};
