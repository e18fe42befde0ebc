// The folder tree of the main window: its order and the columns drawn over its items.

#include "app/FolderSizeStore.h"
#include "app/MainForm.h"
#include "app/MyThread.h"
#include "platform/NumberText.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

std::int32_t g_sizeColumnWidth = 0;

// Paints an item as usual, then lets the window draw its columns over the text.
class FolderItemDelegate : public QStyledItemDelegate
{
public:
    FolderItemDelegate(TMainForm& form, QObject* parent) : QStyledItemDelegate(parent), m_form(form)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* view = opt.widget;
        const QStyle* style = view ? view->style() : QApplication::style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, view);
        const bool selected = opt.state.testFlag(QStyle::State_Selected);
        QBrush background = opt.backgroundBrush;
        if (selected) {
            const QPalette::ColorGroup group =
                !opt.state.testFlag(QStyle::State_Enabled) ? QPalette::Disabled
                : opt.state.testFlag(QStyle::State_Active) ? QPalette::Active
                                                           : QPalette::Inactive;
            background = opt.palette.brush(group, QPalette::Highlight);
        } else if (background.style() == Qt::NoBrush) {
            background = opt.palette.brush(QPalette::Base);
        }
        painter->save();
        m_form.TreeView1AdvancedCustomDrawItem(*painter, index, textRect, background, selected);
        painter->restore();
    }

private:
    TMainForm& m_form;
};

} // namespace

std::int32_t TMainForm::SizeColumnWidth()
{
    return g_sizeColumnWidth;
}

void TMainForm::setupTree()
{
    QTreeView* tree = ui->TreeView1;
    tree->setModel(&m_model);
    tree->setItemDelegate(new FolderItemDelegate(*this, tree));
    tree->setIconSize(QSize(16, 16));
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(0, QHeaderView::Fixed);
    m_model.SetCompare([this](std::int32_t a, std::int32_t b) { return TreeView1Compare(a, b); });
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TMainForm::TreeView1Change);
    connect(tree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        int depth = 1;
        for (QModelIndex i = index.parent(); i.isValid(); i = i.parent())
            ++depth;
        m_deepestExpanded = std::max(m_deepestExpanded, depth);
        widenTreeColumn();
    });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] { m_deepestExpanded = 0; });
    tree->viewport()->installEventFilter(this);
    widenTreeColumn();
}

void TMainForm::widenTreeColumn()
{
    // The columns reach 470 pixels past the size column; the item is as wide as that
    // at the deepest level shown, and never narrower than the view.
    QTreeView* tree = ui->TreeView1;
    const int needed = tree->indentation() * (m_deepestExpanded + 1) + tree->iconSize().width() +
                       8 + g_sizeColumnWidth + 480;
    const int width = std::max(needed, tree->viewport()->width());
    if (tree->header()->sectionSize(0) != width)
        tree->header()->resizeSection(0, width);
}

int TMainForm::TreeView1Compare(std::int32_t node1, std::int32_t node2) const
{
    if (ui->Sort1->isChecked()) {
        const std::int64_t size1 = m_store.FolderSizes(node1 - 1);
        const std::int64_t size2 = m_store.FolderSizes(node2 - 1);
        return size1 < size2 ? 1 : size1 > size2 ? -1 : 0;
    }
    // Counts are compared on their low 32 bits, as a 32-bit difference.
    const auto count1 = std::uint32_t(m_store.FolderFileCounts(node1 - 1));
    const auto count2 = std::uint32_t(m_store.FolderFileCounts(node2 - 1));
    return std::int32_t(count2 - count1);
}

void TMainForm::ResortTree()
{
    m_model.SortAll();
    ui->TreeView1->setFocus();
}

void TMainForm::Sort1Click()
{
    ResortTree();
}

void TMainForm::Sort2Click()
{
    ResortTree();
}

void TMainForm::TreeView1AdvancedCustomDrawItem(QPainter& painter, const QModelIndex& node,
                                                const QRect& textRect, const QBrush& background,
                                                bool selected)
{
    // The columns come from the node's own name and the store, never from splitting
    // its text: a folder name may itself hold a TAB.
    const auto entry = node.data(TFolderTreeModel::EntryRole).toInt();
    if (!m_model.isCompleted(entry))
        return; // still being walked: the plain item stays

    const std::int32_t parent = m_model.parentEntry(entry);
    const bool bySize = ui->Sort1->isChecked();
    const auto valueOf = [&](std::int32_t e) {
        return bySize ? m_store.FolderSizes(e - 1) : m_store.FolderFileCounts(e - 1);
    };
    const std::int64_t value = valueOf(entry);
    const std::int64_t parentValue = parent ? valueOf(parent) : value;

    // Rectangles are taken as left, top, right, bottom with the right and bottom
    // edges outside, like the texts' cells below.
    const int L = textRect.left();
    const int T = textRect.top();
    const int B = textRect.top() + textRect.height();
    painter.fillRect(textRect, background);

    const QString sizeText = TMyThread::SizeText(m_store.FolderSizes(entry - 1));
    const QString name = QFile::decodeName(m_model.nodeName(entry));
    const QString countText = TMyThread::CountText(m_store.FolderFileCounts(entry - 1));

    const bool bold = parent != 0 && parentValue != 0 && value * 100 / parentValue > 5;
    painter.setFont(bold ? FontDialog1 : FontDialog2);
    painter.setPen(selected ? QColor(255, 255, 255) : QColor(0, 0, 0));
    const auto sizeTextWidth = std::int32_t(painter.fontMetrics().horizontalAdvance(sizeText));
    if (sizeTextWidth > g_sizeColumnWidth) {
        g_sizeColumnWidth = sizeTextWidth;
        // The item gets wider; not while the view paints.
        QMetaObject::invokeMethod(this, &TMainForm::widenTreeColumn, Qt::QueuedConnection);
    }
    const int W = g_sizeColumnWidth;
    const auto cell = [&](int left, int right) { return QRect(left, T, right - left, B - T); };

    painter.drawText(cell(L, L + W), Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, sizeText);
    painter.drawText(cell(L + W + 10, textRect.right() + 1),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, name);
    painter.drawText(cell(L + W + 310, L + W + 410),
                     Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, countText);
    if (parent == 0)
        return;

    // The share box: a one-pixel black outline around the item's background.
    const QRect box = cell(L + W + 420, L + W + 470).adjusted(0, 1, 0, -1);
    painter.fillRect(box, background);
    painter.save();
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.restore();
    std::int64_t bar = parentValue != 0 ? 48 * value / parentValue : 0;
    bar = std::clamp<std::int64_t>(bar, 0, 48);
    if (parentValue != 0 && bar > 0)
        painter.fillRect(QRect(L + W + 421, T + 2, int(bar), (B - 2) - (T + 2)),
                         QColor(196, 196, 255));
    if (parentValue != 0) {
        const QString percent =
            platform::fixed2(double(value) * 100.0 / double(parentValue)) + QLatin1Char('%');
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, percent);
    }
}
