#include "controls/WideListView.h"

#include "controls/WideListModel.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QStackedLayout>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <algorithm>
#include <optional>

namespace {

// Draws items as Qt does, with the state image left of the icon where the list shows
// state images, and tells the list while a caption editor is open.
class ListItemDelegate : public QStyledItemDelegate
{
public:
    ListItemDelegate(bool& editing, QObject* parent)
        : QStyledItemDelegate(parent), m_editing(editing)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const QImage state = index.data(TWideListModel::StateImageRole).value<QImage>();
        if (state.isNull()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt(option);
        QRect place;
        if (opt.decorationPosition == QStyleOptionViewItem::Top) {
            // Icon views: beside the icon, level with its bottom.
            QStyleOptionViewItem probe(option);
            initStyleOption(&probe, index);
            const QStyle* style = probe.widget ? probe.widget->style() : QApplication::style();
            const QRect icon =
                style->subElementRect(QStyle::SE_ItemViewItemDecoration, &probe, probe.widget);
            place = QRect(
                QPoint(icon.left() - StateGap - state.width(), icon.bottom() + 1 - state.height()),
                state.size());
        } else {
            // Rows: at the start, and the icon and text move right to make room.
            place = QRect(QPoint(opt.rect.left() + StateGap,
                                 opt.rect.top() + (opt.rect.height() - state.height()) / 2),
                          state.size());
            opt.rect.setLeft(place.right() + 1 + StateGap);
        }
        QStyledItemDelegate::paint(painter, opt, index);
        painter->drawImage(place.topLeft(), state);
        m_stateOffset = place.topLeft() - option.rect.topLeft();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const QSize state = index.data(TWideListModel::StateImageSizeRole).toSize();
        if (index.column() != 0 || !state.isValid())
            return size;
        if (option.decorationPosition == QStyleOptionViewItem::Top)
            size.setWidth(std::max(size.width(), option.decorationSize.width() +
                                                     2 * (state.width() + 2 * StateGap)));
        else
            size.rwidth() += state.width() + 2 * StateGap;
        return size;
    }
    // Where the last state image went, from the top-left of its item's rectangle.
    std::optional<QPoint> StateOffset() const { return m_stateOffset; }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        m_editing = true;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override
    {
        m_editing = false;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

private:
    static constexpr int StateGap = 2;
    bool& m_editing;
    mutable std::optional<QPoint> m_stateOffset;
};

} // namespace

TWideListView::TWideListView(QWidget* parent)
    : QWidget(parent), m_model(std::make_unique<TWideListModel>(*this))
{
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);

    m_report = new QTreeView(this);
    m_header = new TListHeader(m_report);
    m_report->setHeader(m_header);
    // setHeader gives the sections the view's own sorting setting, which stays off: the
    // list sorts itself on a click, so the sections must take clicks again.
    m_header->setSectionsClickable(true);
    m_report->setModel(m_model.get());
    m_selection = m_report->selectionModel();
    m_report->setRootIsDecorated(false);
    m_report->setItemsExpandable(false);
    m_report->setUniformRowHeights(true);
    m_report->setAllColumnsShowFocus(true);
    m_report->setIconSize(QSize(16, 16));
    m_report->setTextElideMode(Qt::ElideRight);
    setUpView(m_report);
    m_stack->addWidget(m_report);
    setFocusProxy(m_report);

    connect(m_header, &QHeaderView::sectionClicked, this,
            [this](int section) { ColumnClick(section); });
    connect(m_header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section >= 0 && size_t(section) < m_columns.size() && !m_resetting)
            m_columns[size_t(section)].Width = size;
    });
    connect(m_selection, &QItemSelectionModel::selectionChanged, this,
            [this] { SelectionChanged(); });
}

TWideListView::~TWideListView()
{
    // The views go with this widget's children; nothing may reach the filter then.
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_report), static_cast<QAbstractItemView*>(m_icons)}) {
        if (view) {
            view->removeEventFilter(this);
            view->viewport()->removeEventFilter(this);
        }
    }
}

void TWideListView::setUpView(QAbstractItemView* view)
{
    view->setSelectionMode(m_multiSelect ? QAbstractItemView::ExtendedSelection
                                         : QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setItemDelegate(new ListItemDelegate(m_editing, view));
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
}

QAbstractItemModel* TWideListView::Model() const
{
    return m_model.get();
}

// ---- Items ----

int TWideListView::AddItem(std::unique_ptr<TWideListItem> item)
{
    if (m_items.size() == m_items.capacity())
        m_items.reserve(m_items.size() + std::max<size_t>(size_t(m_allocBy), m_items.size() / 2));
    const int row = int(m_items.size());
    if (m_resetting) {
        m_items.push_back(std::move(item));
        return row;
    }
    m_model->beginInsertRows({}, row, row);
    m_items.push_back(std::move(item));
    m_model->endInsertRows();
    return row;
}

int TWideListView::AddItems(std::vector<std::unique_ptr<TWideListItem>> items)
{
    const int first = int(m_items.size());
    if (items.empty())
        return first;
    m_items.reserve(m_items.size() + std::max(items.size(), m_items.size() / 2));
    if (!m_resetting)
        m_model->beginInsertRows({}, first, first + int(items.size()) - 1);
    std::move(items.begin(), items.end(), std::back_inserter(m_items));
    if (!m_resetting)
        m_model->endInsertRows();
    return first;
}

void TWideListView::DeleteItem(int index)
{
    DeleteItems({index});
}

void TWideListView::DeleteItems(std::vector<int> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    std::erase_if(indexes, [this](int i) { return i < 0 || i >= ItemCount(); });
    if (indexes.empty())
        return;
    if (m_resetting) {
        for (auto it = indexes.rbegin(); it != indexes.rend(); ++it)
            m_items.erase(m_items.begin() + *it);
        return;
    }
    // From the end, one run of neighbours at a time, so that indexes stay valid.
    size_t end = indexes.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && indexes[begin - 1] == indexes[begin] - 1)
            --begin;
        const int first = indexes[begin];
        const int last = indexes[end - 1];
        m_model->beginRemoveRows({}, first, last);
        m_items.erase(m_items.begin() + first, m_items.begin() + last + 1);
        m_model->endRemoveRows();
        end = begin;
    }
}

void TWideListView::ClearItems()
{
    if (m_updateCount > 0) {
        if (!m_resetting) {
            m_model->beginResetModel();
            m_resetting = true;
        }
        m_items.clear();
        return;
    }
    m_model->beginResetModel();
    m_items.clear();
    m_model->endResetModel();
}

void TWideListView::UpdateItem(int index)
{
    if (index < 0 || index >= ItemCount())
        return;
    ItemChanged(index, false);
    if (m_resetting)
        return;
    emit m_model->dataChanged(m_model->index(index, 0),
                              m_model->index(index, m_model->columnCount() - 1));
}

void TWideListView::BeginUpdate()
{
    if (m_updateCount++ == 0)
        CurrentView()->setUpdatesEnabled(false);
}

void TWideListView::EndUpdate()
{
    if (m_updateCount == 0 || --m_updateCount > 0)
        return;
    if (m_resetting) {
        m_resetting = false;
        m_model->endResetModel();
        applyColumnWidths();
    }
    CurrentView()->setUpdatesEnabled(true);
}

void TWideListView::ApplyOrder(const std::vector<int>& order)
{
    if (order.size() != m_items.size())
        return;
    if (!m_resetting)
        emit m_model->layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Gathered into a new array in one pass: following the permutation's cycles in place
    // touched a million items at random twice over.
    std::vector<std::unique_ptr<TWideListItem>> items(m_items.size());
    for (size_t i = 0; i < order.size(); ++i)
        items[i] = std::move(m_items[size_t(order[i])]);
    m_items.swap(items);
    if (m_resetting)
        return;
    std::vector<int> newRow(m_items.size());
    for (size_t i = 0; i < order.size(); ++i)
        newRow[size_t(order[i])] = int(i);
    const QModelIndexList before = m_model->persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.append(m_model->index(newRow[size_t(i.row())], i.column()));
    m_model->changePersistentIndexList(before, after);
    emit m_model->layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- Columns ----

void TWideListView::AddColumn(const QString& caption, int alignment, int width)
{
    const int at = int(m_columns.size());
    // The model always has one column; the first real one takes its place.
    if (!m_resetting && at > 0)
        m_model->beginInsertColumns({}, at, at);
    m_columns.push_back(TListColumn{caption, alignment, width});
    if (!m_resetting) {
        if (at > 0)
            m_model->endInsertColumns();
        emit m_model->headerDataChanged(Qt::Horizontal, at, at);
        m_header->resizeSection(at, width);
    }
}

void TWideListView::ClearColumns()
{
    if (m_columns.empty())
        return;
    if (m_resetting) {
        m_columns.clear();
        return;
    }
    m_model->beginResetModel();
    m_columns.clear();
    m_model->endResetModel();
}

int TWideListView::ColumnWidth(int index) const
{
    if (index < 0 || size_t(index) >= m_columns.size())
        return 0;
    return m_columns[size_t(index)].Width;
}

void TWideListView::SetColumnWidth(int index, int width)
{
    if (index < 0 || size_t(index) >= m_columns.size())
        return;
    m_columns[size_t(index)].Width = width;
    if (!m_resetting)
        m_header->resizeSection(index, width);
}

void TWideListView::applyColumnWidths()
{
    for (size_t i = 0; i < m_columns.size(); ++i)
        m_header->resizeSection(int(i), m_columns[i].Width);
}

// ---- Selection ----

int TWideListView::SelCount() const
{
    return int(SelectedIndexes().size());
}

int TWideListView::Selected() const
{
    int first = -1;
    for (const QItemSelectionRange& r : m_selection->selection()) {
        if (r.left() == 0 && (first < 0 || r.top() < first))
            first = r.top();
    }
    return first;
}

std::vector<int> TWideListView::SelectedIndexes() const
{
    // The rows of the selection's ranges: the views and the list select whole rows, so
    // a range holds its rows from the first column on. Ranges may overlap.
    std::vector<int> rows;
    for (const QItemSelectionRange& r : m_selection->selection()) {
        if (r.left() != 0)
            continue;
        for (int row = r.top(); row <= r.bottom(); ++row)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool TWideListView::IsSelected(int index) const
{
    return m_selection->isSelected(m_model->index(index, 0));
}

void TWideListView::SetSelected(int index, bool on)
{
    if (index < 0 || index >= ItemCount())
        return;
    m_selection->select(m_model->index(index, 0),
                        (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                            QItemSelectionModel::Rows);
}

void TWideListView::ClearSelection()
{
    m_selection->clearSelection();
}

int TWideListView::ItemFocused() const
{
    const QModelIndex i = m_selection->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void TWideListView::SetItemFocused(int index)
{
    if (index < 0 || index >= ItemCount()) {
        m_selection->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
        return;
    }
    m_selection->setCurrentIndex(m_model->index(index, 0), QItemSelectionModel::NoUpdate);
}

void TWideListView::MakeVisible(int index)
{
    if (index >= 0 && index < ItemCount())
        CurrentView()->scrollTo(m_model->index(index, 0), QAbstractItemView::EnsureVisible);
}

void TWideListView::SetMultiSelect(bool on)
{
    m_multiSelect = on;
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_report), static_cast<QAbstractItemView*>(m_icons)}) {
        if (view)
            view->setSelectionMode(on ? QAbstractItemView::ExtendedSelection
                                      : QAbstractItemView::SingleSelection);
    }
}

void TWideListView::SetRowSelect(bool on)
{
    m_rowSelect = on;
    m_report->setAllColumnsShowFocus(on);
}

void TWideListView::SetAutoArrange(bool on)
{
    m_autoArrange = on;
    if (m_icons)
        m_icons->setMovement(on ? QListView::Static : QListView::Free);
}

int TWideListView::ItemAt(const QPoint& point) const
{
    QAbstractItemView* view = CurrentView();
    const QModelIndex i = view->indexAt(view->viewport()->mapFrom(this, point));
    return i.isValid() ? i.row() : -1;
}

QRect TWideListView::ItemRect(int index) const
{
    QAbstractItemView* view = CurrentView();
    QRect r = view->visualRect(m_model->index(index, 0));
    if (view == m_report && !r.isEmpty())
        r = QRect(0, r.top(), m_report->viewport()->width(), r.height());
    return r.translated(view->viewport()->mapTo(this, QPoint(0, 0)));
}

void TWideListView::EditCaption(int index)
{
    if (index < 0 || index >= ItemCount() || !CanEdit(index))
        return;
    QAbstractItemView* view = CurrentView();
    view->setCurrentIndex(m_model->index(index, 0));
    view->edit(m_model->index(index, 0));
}

bool TWideListView::IsEditing() const
{
    return m_editing;
}

bool TWideListView::CaptionEdited(int index, const QString& text)
{
    Item(index).SetCaption(text);
    UpdateItem(index);
    if (OnEdited)
        OnEdited(index);
    return true;
}

// ---- Views ----

QAbstractItemView* TWideListView::CurrentView() const
{
    if (m_viewStyle == vsReport || !m_icons)
        return m_report;
    return m_icons;
}

void TWideListView::createIconView()
{
    m_icons = new QListView(this);
    m_icons->setModel(m_model.get());
    m_icons->setSelectionModel(m_selection);
    m_icons->setUniformItemSizes(true);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setMovement(m_autoArrange ? QListView::Static : QListView::Free);
    setUpView(m_icons);
    m_stack->addWidget(m_icons);
}

void TWideListView::SetViewStyle(TViewStyle style)
{
    m_viewStyle = style;
    applyViewStyle();
}

void TWideListView::applyViewStyle()
{
    const bool hadFocus = CurrentView()->hasFocus();
    if (m_viewStyle != vsReport) {
        if (!m_icons)
            createIconView();
        switch (m_viewStyle) {
        case vsIcon:
            m_icons->setViewMode(QListView::IconMode);
            m_icons->setIconSize(QSize(32, 32));
            m_icons->setGridSize(QSize(76, 64));
            m_icons->setWordWrap(true);
            break;
        case vsSmallIcon:
            m_icons->setViewMode(QListView::ListMode);
            m_icons->setFlow(QListView::LeftToRight);
            m_icons->setWrapping(true);
            m_icons->setIconSize(QSize(16, 16));
            m_icons->setGridSize(QSize());
            m_icons->setWordWrap(false);
            break;
        default: // vsList
            m_icons->setViewMode(QListView::ListMode);
            m_icons->setFlow(QListView::TopToBottom);
            m_icons->setWrapping(true);
            m_icons->setIconSize(QSize(16, 16));
            m_icons->setGridSize(QSize());
            m_icons->setWordWrap(false);
            break;
        }
        m_stack->setCurrentWidget(m_icons);
    } else {
        m_stack->setCurrentWidget(m_report);
    }
    setFocusProxy(CurrentView());
    if (hadFocus)
        CurrentView()->setFocus();
    ImagesChanged();
}

void TWideListView::ImagesChanged()
{
    m_pixmaps.clear();
    CurrentView()->viewport()->update();
}

void TWideListView::ImageChanged(int imageIndex)
{
    m_pixmaps.removeIf([imageIndex](const QHash<quint64, QPixmap>::iterator it) {
        return qint32(quint32(it.key() >> 32)) == imageIndex;
    });
    CurrentView()->viewport()->update();
}

QRect TWideListView::StateImageRect(int index) const
{
    if (index < 0 || index >= ItemCount() || !StateImageSize().isValid())
        return {};
    const QAbstractItemView* view = CurrentView();
    const auto* delegate = dynamic_cast<const ListItemDelegate*>(view->itemDelegate());
    const std::optional<QPoint> offset = delegate ? delegate->StateOffset() : std::nullopt;
    const QRect item = view->visualRect(m_model->index(index, 0));
    if (!offset || item.isEmpty())
        return {};
    return QRect(item.topLeft() + *offset, StateImageSize())
        .translated(view->viewport()->mapTo(this, QPoint(0, 0)));
}

QString TWideListView::CaptionText(int index) const
{
    const QString caption = Item(index).Caption();
    return caption.isNull() ? DefaultCaption(index) : caption;
}

QImage TWideListView::ItemImage(int, bool) const
{
    return {};
}

QImage TWideListView::OverlayImage(int overlayIndex, int size) const
{
    if (overlayIndex != 1)
        return {};
    // The link overlay: a small curved arrow on white in the lower left corner.
    const int s = std::max(8, size / 2);
    const QIcon emblem = QIcon::fromTheme(QStringLiteral("emblem-symbolic-link"));
    if (!emblem.isNull())
        return emblem.pixmap(s, s).toImage();
    QImage image(s, s, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(0, 0, s - 1, s - 1);
    QPainterPath arrow;
    arrow.moveTo(2, s - 2);
    arrow.quadTo(2, 3, s - 3, 3);
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    p.drawLine(s - 3, 3, s - 5, 1);
    p.drawLine(s - 3, 3, s - 5, 5);
    return image;
}

QVariant TWideListView::itemIcon(int index)
{
    ImageRequest(index);
    if (index >= ItemCount()) // the request may have changed the list
        return {};
    const TWideListItem& item = Item(index);
    if (item.ImageIndex < 0)
        return {};
    const bool large = m_viewStyle == vsIcon;
    const quint64 key = (quint64(quint32(item.ImageIndex)) << 32) |
                        (quint64(quint32(item.OverlayIndex + 1) & 0xffffff) << 8) |
                        (item.Cut ? 2u : 0u) | (large ? 1u : 0u);
    if (const auto it = m_pixmaps.constFind(key); it != m_pixmaps.cend())
        return *it;
    QImage image = ItemImage(item.ImageIndex, large);
    if (image.isNull())
        return {};
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    if (item.OverlayIndex >= 0) {
        const QImage overlay = OverlayImage(item.OverlayIndex, image.width());
        if (!overlay.isNull())
            p.drawImage(0, image.height() - overlay.height(), overlay);
    }
    if (item.Cut) { // ghosted: half transparent
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.fillRect(image.rect(), QColor(0, 0, 0, 128));
    }
    p.end();
    const QPixmap pixmap = QPixmap::fromImage(image);
    m_pixmaps.insert(key, pixmap);
    return pixmap;
}

bool TWideListView::eventFilter(QObject* watched, QEvent* event)
{
    if (ViewEvent(watched, event))
        return true;
    return QWidget::eventFilter(watched, event);
}
