#include "host/widgets/failure_list.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "host/services/formatting.h"

namespace tavik {

TFailureList::TFailureList(QWidget* parent) : QDialog(parent), FList(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("frmFehlerliste"));
    setWindowTitle(QStringLiteral("Archivverwaltung - Fehler"));
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(640, 260);

    auto* text = new QLabel(QStringLiteral("Diese Vorgänge sind fehlgeschlagen. Die Meldung nennt jeweils den Grund; "
                                           "nach dem Beheben den Vorgang bitte wiederholen."),
                            this);
    text->setWordWrap(true);

    FList->setObjectName(QStringLiteral("lstFehler"));
    FList->setColumnCount(3);
    FList->setHeaderLabels({QStringLiteral("Zeit"), QStringLiteral("Vorgang"), QStringLiteral("Meldung")});
    FList->setRootIsDecorated(false);
    FList->setWordWrap(true);
    FList->header()->setStretchLastSection(true);
    FList->setColumnWidth(0, 130);
    FList->setColumnWidth(1, 200);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* clear = buttons->addButton(QStringLiteral("Liste leeren"), QDialogButtonBox::ResetRole);
    clear->setObjectName(QStringLiteral("btnLeeren"));
    QPushButton* close = buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("btnSchliessen"));
    connect(clear, &QPushButton::clicked, FList, &QTreeWidget::clear);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(FList, 1);
    layout->addWidget(buttons);
}

void TFailureList::Add(const TFailure& failure) {
    auto* item = new QTreeWidgetItem(FList, {QString::fromStdString(tavik_DateToStr(failure.Time, 19)),
                                             QString::fromStdString(failure.Context),
                                             QString::fromStdString(failure.Message)});
    item->setToolTip(2, item->text(2));
    FList->scrollToItem(item);
    if (!isVisible()) show();
    raise();
}

int TFailureList::Count() const { return FList->topLevelItemCount(); }

QStringList TFailureList::Line(int index) const {
    const QTreeWidgetItem* item = FList->topLevelItem(index);
    if (!item) return {};
    return {item->text(0), item->text(1), item->text(2)};
}

}  // namespace tavik
