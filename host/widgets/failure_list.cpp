#include "host/widgets/failure_list.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "host/services/formatting.h"
#include "host/widgets/operation_names.h"

namespace tavik {

namespace {

enum TColumn { colTime, colOperation, colReason, colCount };

QTableWidgetItem* Cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignTop);
    return item;
}

}  // namespace

TFailureList::TFailureList(QWidget* parent) : QDialog(parent), FList(new QTableWidget(0, colCount, this)) {
    setObjectName(QStringLiteral("frmFehlerliste"));
    setWindowTitle(QStringLiteral("Archivverwaltung - Fehler"));
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(780, 320);

    auto* text = new QLabel(QStringLiteral("Diese Vorgänge sind fehlgeschlagen. Die Meldung nennt jeweils den Grund; "
                                           "nach dem Beheben den Vorgang bitte wiederholen."),
                            this);
    text->setWordWrap(true);

    FList->setObjectName(QStringLiteral("lstFehler"));
    FList->setHorizontalHeaderLabels({QStringLiteral("Zeit"), QStringLiteral("Vorgang"), QStringLiteral("Meldung")});
    FList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FList->setSelectionMode(QAbstractItemView::SingleSelection);
    FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FList->setShowGrid(false);
    FList->setAlternatingRowColors(true);
    FList->setWordWrap(true);
    FList->setTextElideMode(Qt::ElideNone);
    FList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FList->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    FList->verticalHeader()->hide();
    // Each line as high as its wrapped reason, also after the window changed its width.
    FList->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    QHeaderView* header = FList->horizontalHeader();
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionResizeMode(colTime, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(colOperation, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(colReason, QHeaderView::Stretch);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* clear = buttons->addButton(QStringLiteral("Liste leeren"), QDialogButtonBox::ResetRole);
    clear->setObjectName(QStringLiteral("btnLeeren"));
    QPushButton* close = buttons->addButton(QStringLiteral("Schließen"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("btnSchliessen"));
    connect(clear, &QPushButton::clicked, FList, [this] { FList->setRowCount(0); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    // The list is read, not worked in: the keyboard starts on the button.
    close->setFocus();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(FList, 1);
    layout->addWidget(buttons);
}

void TFailureList::Add(const TFailure& failure) {
    const int row = FList->rowCount();
    FList->insertRow(row);
    FList->setItem(row, colTime, Cell(QString::fromStdString(tavik_DateToStr(failure.Time, 19))));
    QTableWidgetItem* operation = Cell(OperationName(failure.Context));
    operation->setToolTip(QString::fromStdString(failure.Context));
    operation->setData(Qt::UserRole, QString::fromStdString(failure.Context));
    FList->setItem(row, colOperation, operation);
    FList->setItem(row, colReason, Cell(QString::fromStdString(failure.Message)));
    // The newest line is the one to read: current and selected, and in view once the lines have
    // their heights (they are measured when the view lays itself out).
    FList->setCurrentCell(row, colReason);
    FList->selectRow(row);
    FList->scrollToBottom();
    QTimer::singleShot(0, FList, [list = FList] { list->scrollToBottom(); });
    if (failure.Quiet) return;
    if (!isVisible()) show();
    raise();
}

int TFailureList::Count() const { return FList->rowCount(); }

QStringList TFailureList::Line(int index) const {
    if (index < 0 || index >= FList->rowCount()) return {};
    return {FList->item(index, colTime)->text(), FList->item(index, colOperation)->text(),
            FList->item(index, colReason)->text()};
}

std::string TFailureList::Context(int index) const {
    if (index < 0 || index >= FList->rowCount()) return {};
    return FList->item(index, colOperation)->data(Qt::UserRole).toString().toStdString();
}

}  // namespace tavik
