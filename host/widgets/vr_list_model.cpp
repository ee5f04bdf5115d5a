#include "host/widgets/vr_list_model.h"

#include <algorithm>
#include <numeric>
#include <string_view>

namespace tavik {

namespace {

bool IsNumericKind(int kind) { return kind == vrkInteger || kind == vrkInt64; }

// What a date or time column shows decides its order: the day, or the time of that day.
std::int64_t DateTimeKey(const TVRList& list, int row, int column, int kind) {
    const std::int64_t seconds = list.GetDateTime(row, column).time_since_epoch().count();
    constexpr std::int64_t day = 24 * 60 * 60;
    const std::int64_t days = seconds >= 0 ? seconds / day : (seconds - day + 1) / day;
    return kind == vrkDate ? days : seconds - days * day;
}

template <class Key>
void SortByKeys(std::vector<std::int32_t>& order, const std::vector<Key>& keys, Qt::SortOrder sortOrder) {
    // Stable, so that equal cells keep the table's order in both directions.
    if (sortOrder == Qt::AscendingOrder)
        std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) { return keys[a] < keys[b]; });
    else
        std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) { return keys[b] < keys[a]; });
}

}  // namespace

TVRListModel::TVRListModel(QObject* parent) : QAbstractItemModel(parent) {}

void TVRListModel::Rebuild(const std::function<void(TVirtualNode&)>& init) {
    beginResetModel();
    const int rows = FList ? FList->GetRowCount() : 0;
    FColumnCount = FList ? FList->GetColumnCount() : 0;
    FNodes.assign(static_cast<std::size_t>(rows), TVirtualNode{});
    FOrder.resize(static_cast<std::size_t>(rows));
    std::iota(FOrder.begin(), FOrder.end(), 0);
    for (int row = 0; row < rows; ++row) {
        TVirtualNode& node = FNodes[static_cast<std::size_t>(row)];
        node.Row = row;
        node.Position = row;
        if (init) init(node);
    }
    if (FSortColumn >= FColumnCount) FSortColumn = -1;
    if (FSortColumn >= 0) SortNodes();
    RecountTotals();
    endResetModel();
}

void TVRListModel::Clear() {
    beginResetModel();
    FNodes.clear();
    FOrder.clear();
    FColumnCount = FList ? FList->GetColumnCount() : 0;
    RecountTotals();
    endResetModel();
}

PVirtualNode TVRListModel::NodeAt(int position) {
    if (position < 0 || position >= NodeCount()) return nullptr;
    return &FNodes[static_cast<std::size_t>(FOrder[static_cast<std::size_t>(position)])];
}

PVirtualNode TVRListModel::NodeOf(const QModelIndex& index) {
    if (!index.isValid() || index.model() != this) return nullptr;
    return NodeAt(index.row());
}

QModelIndex TVRListModel::IndexOf(const TVirtualNode& node, int column) const {
    return createIndex(node.Position, column);
}

std::int64_t TVRListModel::TotalsValue(int row) const {
    // Nodes of a table that has since been emptied count nothing until they are rebuilt.
    if (FTotalsColumn < 0 || !FList || row >= FList->GetRowCount()) return 0;
    return FList->GetInt64(row, FTotalsColumn);
}

void TVRListModel::SetTotalsColumn(int column) {
    if (column == FTotalsColumn) return;
    FTotalsColumn = column;
    RecountTotals();
}

void TVRListModel::RecountTotals() {
    FTotals = {};
    FTotals.Count = NodeCount();
    for (const TVirtualNode& node : FNodes) {
        const std::int64_t value = TotalsValue(node.Row);
        FTotals.Sum += value;
        if (node.CheckState == csCheckedNormal) {
            ++FTotals.Checked;
            FTotals.CheckedSum += value;
        }
    }
}

void TVRListModel::SetCheckState(TVirtualNode& node, std::uint8_t state) {
    if (node.CheckState == state) return;
    const bool was = node.CheckState == csCheckedNormal;
    const bool is = state == csCheckedNormal;
    node.CheckState = state;
    if (was != is) {
        const std::int64_t value = TotalsValue(node.Row);
        FTotals.Checked += is ? 1 : -1;
        FTotals.CheckedSum += is ? value : -value;
    }
    if (FCheckBatch > 0) {
        FChecksChanged = true;
        return;
    }
    const QModelIndex changed = IndexOf(node);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void TVRListModel::BeginChecks() { ++FCheckBatch; }

void TVRListModel::EndChecks() {
    if (FCheckBatch == 0 || --FCheckBatch > 0) return;
    if (FChecksChanged && NodeCount() > 0)
        emit dataChanged(index(0, 0), index(NodeCount() - 1, 0), {Qt::CheckStateRole});
    FChecksChanged = false;
}

QModelIndex TVRListModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= NodeCount() || column < 0 || column >= FColumnCount) return {};
    return createIndex(row, column);
}

QModelIndex TVRListModel::parent(const QModelIndex&) const { return {}; }

int TVRListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : NodeCount(); }

int TVRListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : FColumnCount; }

bool TVRListModel::hasChildren(const QModelIndex& parent) const { return !parent.isValid() && NodeCount() > 0; }

QVariant TVRListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !FList || index.row() >= NodeCount()) return {};
    const TVirtualNode& node = FNodes[static_cast<std::size_t>(FOrder[static_cast<std::size_t>(index.row())])];
    // Between emptying the table and the next rebuild the nodes may point past its rows.
    if (node.Row >= FList->GetRowCount() || index.column() >= FList->GetColumnCount()) return {};
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(FList->GetCellValueAsFormatedString(node.Row, index.column()));
        case Qt::TextAlignmentRole:
            if (IsNumericKind(FList->GetColumn(index.column()).Kind))
                return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        case Qt::CheckStateRole:
            if (index.column() != 0 || node.CheckType != ctCheckBox) return {};
            return node.CheckState == csCheckedNormal ? Qt::Checked : Qt::Unchecked;
        default:
            return {};
    }
}

bool TVRListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != 0) return false;
    PVirtualNode node = NodeOf(index);
    if (!node || node->CheckType != ctCheckBox) return false;
    const bool checked = value.toInt() == Qt::Checked;
    SetCheckState(*node, checked ? csCheckedNormal : csUncheckedNormal);
    emit NodeChecked(node);
    return true;
}

Qt::ItemFlags TVRListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0 && index.row() < NodeCount() &&
        FNodes[static_cast<std::size_t>(FOrder[static_cast<std::size_t>(index.row())])].CheckType == ctCheckBox)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant TVRListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !FList || section < 0 || section >= FColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(FList->GetColumn(section).Caption);
    if (role == Qt::TextAlignmentRole && IsNumericKind(FList->GetColumn(section).Kind))
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

void TVRListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= FColumnCount) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::int32_t> rows;
    rows.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) rows.push_back(FOrder[static_cast<std::size_t>(index.row())]);

    FSortColumn = column;
    FSortOrder = order;
    SortNodes();

    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.push_back(createIndex(FNodes[static_cast<std::size_t>(rows[static_cast<std::size_t>(i)])].Position,
                                    before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TVRListModel::SortNodes() {
    std::iota(FOrder.begin(), FOrder.end(), 0);
    const int rows = NodeCount();
    const int kind = FList->GetColumn(FSortColumn).Kind;
    if (kind == vrkText) {
        std::vector<std::string_view> keys(static_cast<std::size_t>(rows));
        for (int row = 0; row < rows; ++row) keys[static_cast<std::size_t>(row)] = FList->GetText(row, FSortColumn);
        SortByKeys(FOrder, keys, FSortOrder);
    } else {
        std::vector<std::int64_t> keys(static_cast<std::size_t>(rows));
        for (int row = 0; row < rows; ++row)
            keys[static_cast<std::size_t>(row)] = kind == vrkDate || kind == vrkTime
                                                      ? DateTimeKey(*FList, row, FSortColumn, kind)
                                                      : FList->GetInt64(row, FSortColumn);
        SortByKeys(FOrder, keys, FSortOrder);
    }
    Renumber();
}

void TVRListModel::Renumber() {
    for (std::size_t position = 0; position < FOrder.size(); ++position)
        FNodes[static_cast<std::size_t>(FOrder[position])].Position = static_cast<std::int32_t>(position);
}

}  // namespace tavik
