#include "host/widgets/file_dialog_size.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

namespace tavik {

namespace {

// The columns of QFileSystemModel.
constexpr int kNameColumn = 0;
constexpr int kLastColumn = 3;

// Wide enough for a name column of some 40 characters beside the others and the places list.
constexpr int kWidth = 900;
constexpr int kHeight = 520;

}  // namespace

void GiveColumnsRoom(QFileDialog& dialog) {
    dialog.resize(kWidth, kHeight);
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view) return;
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    for (int column = kNameColumn + 1; column <= kLastColumn; ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

}  // namespace tavik
