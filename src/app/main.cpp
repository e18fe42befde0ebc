// Fegmann: a disk clean-up tool. The program takes no arguments and keeps no state.

#include "app/FolderSizeStore.h"
#include "app/FolderTreeModel.h"
#include "platform/NumberText.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fegmann 1.0"));
    QApplication::setApplicationDisplayName(QStringLiteral("Fegmann 1.0"));

    // A plain window over the scan engine; the full main window replaces it.
    QWidget window;
    window.setWindowTitle(QStringLiteral("Fegmann 1.0"));
    window.resize(696, 473);
    auto* start = new QPushButton(QStringLiteral("&Starten"));
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"));
    cancel->setEnabled(false);
    auto* folder = new QLineEdit(QStringLiteral("/"));
    auto* tree = new QTreeView;
    auto* status = new QLabel;
    auto* top = new QHBoxLayout;
    top->addWidget(start);
    top->addWidget(cancel);
    top->addWidget(new QLabel(QStringLiteral("Diesen Ordner durchsuchen:")));
    top->addWidget(folder, 1);
    auto* layout = new QVBoxLayout(&window);
    layout->addLayout(top);
    layout->addWidget(tree, 1);
    layout->addWidget(status);

    TFolderTreeModel model(FolderStore());
    tree->setModel(&model);
    tree->setHeaderHidden(true);
    tree->setUniformRowHeights(true);

    QObject::connect(start, &QPushButton::clicked, &model,
                     [&] { model.StartScan(folder->text()); });
    QObject::connect(cancel, &QPushButton::clicked, &model, &TFolderTreeModel::CancelScan);
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), &window);
    QObject::connect(esc, &QShortcut::activated, cancel, &QPushButton::click);
    QObject::connect(&model, &TFolderTreeModel::scanStarted, &window, [&] {
        start->setEnabled(false);
        cancel->setEnabled(true);
    });
    QObject::connect(&model, &TFolderTreeModel::topLevelFolderAdded, tree,
                     [&] { tree->expand(model.index(0, 0)); });
    QObject::connect(&model, &TFolderTreeModel::scanFinished, &window, [&] {
        start->setEnabled(true);
        cancel->setEnabled(false);
    });
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, status, [&] {
        const TFolderSizeStore& store = FolderStore();
        if (store.FolderEntryCount() > 0)
            status->setText(platform::fixed2(double(store.TotalBytesFound()) / 1024 / 1024) +
                            QStringLiteral(" MB in ") + QString::number(store.TotalFilesFound()) +
                            QStringLiteral(" Dateien"));
    });
    progress.start(1000);

    window.show();
    const int rc = QApplication::exec();
    if (model.Scanning()) {
        // A walk still running is not waited for: end the process at once.
        std::fflush(nullptr);
        ::_exit(rc);
    }
    return rc;
}
