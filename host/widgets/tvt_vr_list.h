#pragma once
// TVTVRList: the tree-grid view of the host framework over a TVRList. One node per table row,
// a check box per node when its init handler gives one, sortable columns with sort marks,
// hidden columns. The view shows the table it is bound to without owning or copying it.
#include <QTreeView>

#include <cstdint>
#include <functional>
#include <string>

#include "host/widgets/vr_list_model.h"

namespace tavik {

using TVirtualNodeInitStates = std::uint32_t;

class TVTVRList : public QTreeView {
    Q_OBJECT

public:
    explicit TVTVRList(QWidget* parent = nullptr);

    // Handlers, each with the view as sender. OnInitNode runs for every node when the nodes are
    // rebuilt; OnChecked when the user changes a check box (not when SetCheckState is called).
    std::function<void(QObject* sender, PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& states)>
        OnInitNode;
    std::function<void(QObject* sender, PVirtualNode node)> OnChecked;

    // The table shown; the view does not own it. Nothing changes until Rebuild.
    void SetVRList(TVRList* list) { FModel->SetList(list); }
    TVRList* VRList() const { return FModel->List(); }
    // The nodes anew from the table, one per row; with columns also the header from its columns.
    void Rebuild(bool columns);
    // Widths of the visible columns from their captions and the first rows; 0 and 0 fit all.
    void AutoFitColumns(int firstColumn, int lastColumn);
    void SetColumnVisible(int column, bool visible);
    bool ColumnVisible(int column) const;
    // No nodes; the bound table is left alone.
    void Clear();

    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdateCount > 0; }

    // The node walk in display order.
    PVirtualNode GetFirst() const;
    PVirtualNode GetNext(PVirtualNode node) const;
    int RootNodeCount() const { return FModel->NodeCount(); }
    TVRNodeData GetNodeData(PVirtualNode node) const;
    std::int64_t GetCellValueAsInt64(PVirtualNode node, int column) const;
    std::string GetCellText(PVirtualNode node, int column) const;

    std::uint8_t CheckState(PVirtualNode node) const { return node ? node->CheckState : csUncheckedNormal; }
    void SetCheckState(PVirtualNode node, std::uint8_t state);
    // Counts and sums (of the totals column) over all nodes and the ticked ones, kept as checks change.
    void SetTotalsColumn(int column) { FModel->SetTotalsColumn(column); }
    const TCheckTotals& CheckTotals() const { return FModel->Totals(); }

    // Sorts by a column as a click on its header does; the sort mark shows it.
    void SortByColumn(int column, Qt::SortOrder order);
    PVirtualNode NodeAtPosition(int position) const { return FModel->NodeAt(position); }
    QModelIndex IndexOfNode(PVirtualNode node, int column = 0) const;
    TVRListModel& Model() const { return *FModel; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void HeaderClicked(int section);
    void ToggleCurrent();

    TVRListModel* FModel;
    int FUpdateCount = 0;
};

}  // namespace tavik
