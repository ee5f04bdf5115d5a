#pragma once
// Qt's file dialog takes the size and date of its files from the system's locale, which on a
// machine set up in English gives "1 bytes" and "8 Dec 2026" among German texts. This delegate
// shows them as the program does elsewhere (sizes as on the workbench, dates in the German
// locale) instead; everything else is drawn as usual.
#include <QStyledItemDelegate>

class QFileDialog;

namespace tavik {

class TFileDialogLocaleDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The text the views show for an index of the dialog's file system model.
    QString DisplayedText(const QModelIndex& index) const;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// Puts the delegate into the dialog's views; the dialog owns it.
void UseProgramLocale(QFileDialog& dialog);

}  // namespace tavik
