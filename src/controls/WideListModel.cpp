#include "controls/WideListModel.h"

#include "controls/WideListView.h"

#include <QApplication>

TWideListModel::TWideListModel(TWideListView& list) : m_list(list) {}

QModelIndex TWideListModel::index(int row, int column, const QModelIndex& parent) const
{
    // Asked for every row whenever a view lays out a million rows: no virtual counts.
    if (parent.isValid() || row < 0 || row >= m_list.ItemCount() || column < 0 ||
        column >= std::max(1, m_list.ListColumnCount()))
        return {};
    return createIndex(row, column);
}

int TWideListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_list.ItemCount();
}

int TWideListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(1, m_list.ListColumnCount());
}

QVariant TWideListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_list.ItemCount())
        return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (column == 0)
            return m_list.CaptionText(row);
        // A column text may be asked for before the item's image when the columns
        // were moved: the item is being drawn all the same.
        if (m_list.Item(row).ImageIndex < 0)
            m_list.ImageRequest(row);
        return m_list.Item(row).SubItems().value(column - 1);
    case Qt::DecorationRole:
        if (column != 0)
            return {};
        return m_list.itemIcon(row);
    case Qt::BackgroundRole:
        // The folder under a drag is drawn as selected.
        if (m_list.Item(row).DropTarget)
            return QApplication::palette().brush(QPalette::Highlight);
        return {};
    case Qt::ForegroundRole:
        if (m_list.Item(row).DropTarget)
            return QApplication::palette().brush(QPalette::HighlightedText);
        if (const QColor colour = m_list.ItemTextColor(row); colour.isValid())
            return colour;
        return {};
    case Qt::TextAlignmentRole: {
        if (m_list.ViewStyle() != vsReport || column >= m_list.ListColumnCount())
            return {};
        const int a = m_list.Column(column).Alignment;
        const Qt::Alignment h =
            a == 1 ? Qt::AlignRight : (a == 2 ? Qt::AlignHCenter : Qt::AlignLeft);
        return QVariant::fromValue(h | Qt::AlignVCenter);
    }
    case StateImageRole: {
        const int state = m_list.Item(row).StateIndex;
        if (column != 0 || state < 0 || !m_list.StateImageSize().isValid())
            return {};
        return m_list.StateImage(state);
    }
    case StateImageSizeRole:
        return m_list.StateImageSize();
    default:
        return {};
    }
}

QVariant TWideListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_list.ListColumnCount())
        return {};
    const TListColumn& c = m_list.Column(section);
    if (role == Qt::DisplayRole)
        return c.Caption;
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment h = c.Alignment == 1
                                    ? Qt::AlignRight
                                    : (c.Alignment == 2 ? Qt::AlignHCenter : Qt::AlignLeft);
        return QVariant::fromValue(h | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags TWideListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
                      Qt::ItemIsDropEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == 0 && !m_list.ReadOnly())
        f |= Qt::ItemIsEditable;
    return f;
}

bool TWideListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != 0)
        return false;
    return m_list.CaptionEdited(index.row(), value.toString());
}

Qt::DropActions TWideListModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

Qt::DropActions TWideListModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}
