#include "ui/search_versions.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "host/widgets/choosers.h"

namespace vendrask {

int ChooseVersion(tavik::TChoosers& choosers, QWidget* parent, const QString& name, const QStringList& versions) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("frmFassungWaehlen"));
    dialog.setWindowTitle(QStringLiteral("Fassung wählen"));
    auto* text = new QLabel(QStringLiteral("Von „%1“ sind mehrere Fassungen markiert.\n"
                                           "Welche soll wiederhergestellt werden?")
                                .arg(name),
                            &dialog);
    text->setObjectName(QStringLiteral("lblFassungen"));
    text->setTextFormat(Qt::PlainText);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lstFassungen"));
    list->addItems(versions);
    list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    dialog.resize(560, 260);
    if (choosers.ExecModal(dialog) != QDialog::Accepted || list->currentRow() < 0) return -1;
    return list->currentRow();
}

}  // namespace vendrask
