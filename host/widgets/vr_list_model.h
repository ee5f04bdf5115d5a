#pragma once
// The item model behind TVTVRList: it reads a TVRList in place and keeps per row only what the
// view adds to it, one small node record (check box, check state, place in the display order).
// Sorting reorders a permutation of the nodes; the table itself is never copied or moved.
#include <QAbstractItemModel>

#include <cstdint>
#include <functional>
#include <vector>

#include "host/services/vr_list.h"

namespace tavik {

// Check types and states of a node.
inline constexpr std::uint8_t ctNone = 0;
inline constexpr std::uint8_t ctCheckBox = 2;
inline constexpr std::uint8_t csUncheckedNormal = 0;
inline constexpr std::uint8_t csCheckedNormal = 2;

struct TVirtualNode {
    std::int32_t Row = 0;       // the table row the node stands for
    std::int32_t Position = 0;  // its place in the display order
    std::uint8_t CheckType = ctNone;
    std::uint8_t CheckState = csUncheckedNormal;
};
using PVirtualNode = TVirtualNode*;

// What a node's data gives: the table and the row.
struct TVRNodeData {
    const TVRList* List = nullptr;
    int Row = -1;
};

// Counts and sums over all nodes and over the ticked ones, of one 64-bit integer column.
struct TCheckTotals {
    int Count = 0;
    int Checked = 0;
    std::int64_t Sum = 0;
    std::int64_t CheckedSum = 0;
};

class TVRListModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit TVRListModel(QObject* parent = nullptr);

    void SetList(TVRList* list) { FList = list; }
    TVRList* List() const { return FList; }

    // One node per table row, each handed to init; keeps the sort column and sorts again.
    void Rebuild(const std::function<void(TVirtualNode&)>& init);
    // No nodes (the table stays as it is).
    void Clear();

    int NodeCount() const { return static_cast<int>(FNodes.size()); }
    PVirtualNode NodeAt(int position);
    PVirtualNode NodeOf(const QModelIndex& index);
    QModelIndex IndexOf(const TVirtualNode& node, int column = 0) const;

    // Sets the state without raising NodeChecked; the totals follow at once.
    void SetCheckState(TVirtualNode& node, std::uint8_t state);
    // Batches the repaint of many check changes into one.
    void BeginChecks();
    void EndChecks();

    // The column summed by Totals(); -1: none.
    void SetTotalsColumn(int column);
    int TotalsColumn() const { return FTotalsColumn; }
    const TCheckTotals& Totals() const { return FTotals; }

    int SortColumn() const { return FSortColumn; }
    Qt::SortOrder SortOrder() const { return FSortOrder; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

signals:
    // The user changed a node's check box.
    void NodeChecked(tavik::TVirtualNode* node);

private:
    std::int64_t TotalsValue(int row) const;
    void RecountTotals();
    void SortNodes();
    void Renumber();

    TVRList* FList = nullptr;
    int FColumnCount = 0;
    std::vector<TVirtualNode> FNodes;  // by table row
    std::vector<std::int32_t> FOrder;  // display position -> table row
    int FTotalsColumn = -1;
    TCheckTotals FTotals;
    int FSortColumn = -1;
    Qt::SortOrder FSortOrder = Qt::AscendingOrder;
    int FCheckBatch = 0;
    bool FChecksChanged = false;
};

}  // namespace tavik
