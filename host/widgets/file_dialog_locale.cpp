#include "host/widgets/file_dialog_locale.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>

#include "host/services/formatting.h"

namespace tavik {

namespace {

// The columns of QFileSystemModel.
constexpr int kSizeColumn = 1;
constexpr int kDateColumn = 3;

}  // namespace

QString TFileDialogLocaleDelegate::DisplayedText(const QModelIndex& index) const {
    const auto* model = qobject_cast<const QFileSystemModel*>(index.model());
    if (model && index.column() == kSizeColumn && !model->isDir(index))
        return QString::fromStdString(tavik_FormatByteSize(model->size(index)));
    if (model && index.column() == kDateColumn)
        return QLocale().toString(model->lastModified(index), QLocale::ShortFormat);
    return index.data(Qt::DisplayRole).toString();
}

void TFileDialogLocaleDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() == kSizeColumn || index.column() == kDateColumn) option->text = DisplayedText(index);
}

void UseProgramLocale(QFileDialog& dialog) { dialog.setItemDelegate(new TFileDialogLocaleDelegate(&dialog)); }

}  // namespace tavik
