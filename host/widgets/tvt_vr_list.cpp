#include "host/widgets/tvt_vr_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyleOptionHeader>

#include <algorithm>

#include "host/services/exceptions.h"

namespace tavik {

namespace {

// Rows looked at when column widths are fitted: enough for a first impression, cheap for a
// million rows.
constexpr int kFitSampleRows = 200;

// Qt draws the mark of an ascending sort as a downward arrow; desktop users read an upward
// arrow as ascending (A at the top), so the header shows the mark the other way round.
class TSortMarkHeader : public QHeaderView {
public:
    explicit TSortMarkHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
        // As the header a tree view makes for itself.
        setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override {
        QHeaderView::initStyleOptionForIndex(option, logicalIndex);
        if (option->sortIndicator == QStyleOptionHeader::SortDown)
            option->sortIndicator = QStyleOptionHeader::SortUp;
        else if (option->sortIndicator == QStyleOptionHeader::SortUp)
            option->sortIndicator = QStyleOptionHeader::SortDown;
    }
};

}  // namespace

TVTVRList::TVTVRList(QWidget* parent) : QTreeView(parent), FModel(new TVRListModel(this)) {
    setHeader(new TSortMarkHeader(this));
    setModel(FModel);
    setUniformRowHeights(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setSectionsMovable(true);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setStretchLastSection(true);
    connect(header(), &QHeaderView::sectionClicked, this, &TVTVRList::HeaderClicked);
    connect(FModel, &TVRListModel::NodeChecked, this, [this](TVirtualNode* node) {
        if (OnChecked) OnChecked(this, node);
    });
}

void TVTVRList::Rebuild(bool columns) {
    FModel->Rebuild([this](TVirtualNode& node) {
        TVirtualNodeInitStates states = 0;
        if (OnInitNode) OnInitNode(this, nullptr, &node, states);
    });
    if (columns)
        for (int column = 0; column < FModel->columnCount(); ++column) setColumnHidden(column, false);
    header()->setSortIndicator(FModel->SortColumn(), FModel->SortOrder());
}

void TVTVRList::AutoFitColumns(int firstColumn, int lastColumn) {
    const int columns = FModel->columnCount();
    if (firstColumn == 0 && lastColumn == 0) lastColumn = columns - 1;
    const QFontMetrics metrics(font());
    const QFontMetrics headerMetrics(header()->font());
    const int rows = std::min(FModel->NodeCount(), kFitSampleRows);
    const int checkWidth = 28;
    for (int column = std::max(0, firstColumn); column <= std::min(lastColumn, columns - 1); ++column) {
        if (isColumnHidden(column)) continue;
        const QString caption = FModel->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        int width = headerMetrics.horizontalAdvance(caption) + 24;
        for (int row = 0; row < rows; ++row)
            width = std::max(width, metrics.horizontalAdvance(FModel->index(row, column).data().toString()) + 16 +
                                        (column == 0 ? checkWidth : 0));
        setColumnWidth(column, std::min(width, 480));
    }
}

void TVTVRList::SetColumnVisible(int column, bool visible) {
    if (column < 0 || column >= FModel->columnCount())
        throw EOlvex("Die Liste hat keine Spalte " + std::to_string(column) + ".");
    setColumnHidden(column, !visible);
}

bool TVTVRList::ColumnVisible(int column) const { return !isColumnHidden(column); }

void TVTVRList::Clear() { FModel->Clear(); }

void TVTVRList::BeginUpdate() {
    if (FUpdateCount++ == 0) setUpdatesEnabled(false);
    FModel->BeginChecks();
}

void TVTVRList::EndUpdate() {
    if (FUpdateCount == 0) return;
    FModel->EndChecks();
    if (--FUpdateCount == 0) setUpdatesEnabled(true);
}

PVirtualNode TVTVRList::GetFirst() const { return FModel->NodeAt(0); }

PVirtualNode TVTVRList::GetNext(PVirtualNode node) const { return node ? FModel->NodeAt(node->Position + 1) : nullptr; }

TVRNodeData TVTVRList::GetNodeData(PVirtualNode node) const {
    if (!node || !VRList()) return {};
    return {VRList(), node->Row};
}

std::int64_t TVTVRList::GetCellValueAsInt64(PVirtualNode node, int column) const {
    if (!node || !VRList()) throw EOlvex("Die Liste hat keinen solchen Eintrag.");
    return VRList()->GetInt64(node->Row, column);
}

std::string TVTVRList::GetCellText(PVirtualNode node, int column) const {
    if (!node || !VRList()) throw EOlvex("Die Liste hat keinen solchen Eintrag.");
    return VRList()->GetCellValueAsFormatedString(node->Row, column);
}

void TVTVRList::SetCheckState(PVirtualNode node, std::uint8_t state) {
    if (node) FModel->SetCheckState(*node, state);
}

void TVTVRList::SortByColumn(int column, Qt::SortOrder order) {
    FModel->sort(column, order);
    header()->setSortIndicator(FModel->SortColumn(), FModel->SortOrder());
}

QModelIndex TVTVRList::IndexOfNode(PVirtualNode node, int column) const {
    return node ? FModel->IndexOf(*node, column) : QModelIndex();
}

void TVTVRList::HeaderClicked(int section) {
    const bool again = FModel->SortColumn() == section && FModel->SortOrder() == Qt::AscendingOrder;
    SortByColumn(section, again ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TVTVRList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        ToggleCurrent();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TVTVRList::ToggleCurrent() {
    const QModelIndex current = currentIndex();
    PVirtualNode node = FModel->NodeOf(current);
    if (!node || node->CheckType != ctCheckBox) return;
    FModel->setData(IndexOfNode(node), node->CheckState == csCheckedNormal ? Qt::Unchecked : Qt::Checked,
                    Qt::CheckStateRole);
}

}  // namespace tavik
