#pragma once
// Reading the folder tree model by folder names, as a person reads the tree.

#include "app/FolderTreeModel.h"

#include <QFile>
#include <QStringList>
#include <QTest>

namespace testtrees {

inline QString folderName(const TFolderTreeModel& model, const QModelIndex& index)
{
    return QFile::decodeName(model.nodeName(index.data(TFolderTreeModel::EntryRole).toInt()));
}

// The names of a folder's children, in the tree's order.
inline QStringList childNames(const TFolderTreeModel& model, const QModelIndex& parent)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row)
        names << folderName(model, model.index(row, 0, parent));
    return names;
}

inline QModelIndex childNamed(const TFolderTreeModel& model, const QModelIndex& parent,
                              const QString& name)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        if (folderName(model, child) == name)
            return child;
    }
    return {};
}

// Waits until the walk has given the folder `name` a node. A folder held at a gate may
// have been opened ahead of the walk; once it has a node, the walk is there.
inline bool waitForNode(const TFolderTreeModel& model, const QByteArray& name)
{
    return QTest::qWaitFor(
        [&] {
            for (std::int32_t entry = 1; entry <= model.nodeCount(); ++entry)
                if (model.nodeName(entry) == name)
                    return true;
            return false;
        },
        60000);
}

} // namespace testtrees
