// TVTVRList: a view over a table, nodes with check boxes, sorting, hidden columns, totals.
#include <QHeaderView>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "host/widgets/tvt_vr_list.h"

namespace {

using namespace tavik;

class VRListViewTest : public testing::Test {
protected:
    void SetUp() override {
        const struct {
            const char* caption;
            int kind;
        } columns[] = {{"Name", vrkText}, {"Größe", vrkInt64}, {"Datum", vrkDate}, {"Uhrzeit", vrkTime},
                       {"Index", vrkInteger}};
        for (const auto& c : columns) {
            TVRColumn& column = table.ColumnAdd();
            column.Caption = c.caption;
            column.Kind = c.kind;
        }
        view.OnInitNode = [this](QObject* sender, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
            EXPECT_EQ(sender, &view);
            ++initialised;
            node->CheckType = ctCheckBox;
        };
        view.OnChecked = [this](QObject* sender, PVirtualNode node) {
            EXPECT_EQ(sender, &view);
            checked.push_back(node);
        };
        view.resize(600, 400);
        view.show();
    }

    void Add(const std::string& name, std::int64_t size, TDateTime time) {
        table.RowAdd({name, size, time, time, static_cast<std::int32_t>(table.GetRowCount())});
    }

    void Bind() {
        view.SetVRList(&table);
        view.Rebuild(true);
    }

    std::vector<std::string> NamesInOrder() const {
        std::vector<std::string> names;
        for (PVirtualNode node = view.GetFirst(); node; node = view.GetNext(node)) names.push_back(view.GetCellText(node, 0));
        return names;
    }

    static TDateTime At(int year, int month, int day, int hour = 12) { return EncodeDateTime({year, month, day, hour, 0, 0}); }

    TVRList table;
    TVTVRList view;
    int initialised = 0;
    std::vector<PVirtualNode> checked;
};

TEST_F(VRListViewTest, OneNodePerRowReadFromTheTableItself) {
    Add("b.txt", 20, At(2024, 5, 1));
    Add("a.txt", 3, At(2023, 1, 2));
    Bind();
    EXPECT_EQ(initialised, 2);
    EXPECT_EQ(view.RootNodeCount(), 2);
    EXPECT_EQ(view.model()->rowCount(), 2);
    EXPECT_EQ(view.model()->columnCount(), 5);
    EXPECT_EQ(view.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Größe"));
    EXPECT_EQ(view.model()->index(0, 0).data().toString(), QStringLiteral("b.txt"));
    EXPECT_EQ(view.model()->index(1, 2).data().toString(), QStringLiteral("02.01.2023"));
    EXPECT_EQ(view.model()->index(1, 3).data().toString(), QStringLiteral("12:00:00"));
    // Node data leads to the row; the Index cell names it too.
    PVirtualNode second = view.GetNext(view.GetFirst());
    EXPECT_EQ(view.GetNodeData(second).List, &table);
    EXPECT_EQ(view.GetNodeData(second).Row, 1);
    EXPECT_EQ(view.GetCellValueAsInt64(second, 4), 1);
    EXPECT_EQ(view.GetCellValueAsInt64(second, 1), 3);
    EXPECT_EQ(view.GetNext(second), nullptr);
}

TEST_F(VRListViewTest, NumbersAndDatesSortAsSuchWithASortMark) {
    Add("zehn", 10, At(2024, 1, 10, 8));
    Add("neun", 9, At(2023, 12, 31, 23));
    Add("hundert", 100, At(2024, 1, 2, 1));
    Bind();
    view.header()->setSectionsClickable(true);
    QTest::mouseClick(view.header()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(view.header()->sectionViewportPosition(1) + 5, view.header()->height() / 2));
    EXPECT_EQ(NamesInOrder(), (std::vector<std::string>{"neun", "zehn", "hundert"}));
    EXPECT_EQ(view.header()->sortIndicatorSection(), 1);
    EXPECT_EQ(view.header()->sortIndicatorOrder(), Qt::AscendingOrder);
    QTest::mouseClick(view.header()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(view.header()->sectionViewportPosition(1) + 5, view.header()->height() / 2));
    EXPECT_EQ(NamesInOrder(), (std::vector<std::string>{"hundert", "zehn", "neun"}));
    EXPECT_EQ(view.header()->sortIndicatorOrder(), Qt::DescendingOrder);

    view.SortByColumn(2, Qt::AscendingOrder);
    EXPECT_EQ(NamesInOrder(), (std::vector<std::string>{"neun", "hundert", "zehn"}));
    view.SortByColumn(3, Qt::AscendingOrder);  // time of day
    EXPECT_EQ(NamesInOrder(), (std::vector<std::string>{"hundert", "zehn", "neun"}));
    view.SortByColumn(0, Qt::AscendingOrder);
    EXPECT_EQ(NamesInOrder(), (std::vector<std::string>{"hundert", "neun", "zehn"}));
    EXPECT_EQ(view.model()->index(0, 0).data().toString(), QStringLiteral("hundert"));
    // Sorting moved no row of the table.
    EXPECT_EQ(table.GetCellValueAsFormatedString(0, 0), "zehn");
    EXPECT_EQ(view.GetCellValueAsInt64(view.GetFirst(), 4), 2);
}

// The sort mark as drawn: +1 when it points up (narrow at the top), -1 when down, 0 when none is
// found in the right part of the section.
int SortMarkDirection(QHeaderView& header, int section) {
    const QImage image = header.grab().toImage();
    const double ratio = image.devicePixelRatio();
    const int right = static_cast<int>((header.sectionViewportPosition(section) + header.sectionSize(section)) * ratio);
    const int left = right - static_cast<int>(30 * ratio);
    const QColor background = image.pixelColor(right - static_cast<int>(3 * ratio), 2);
    std::vector<int> widths;
    for (int y = 0; y < image.height(); ++y) {
        int dark = 0;
        for (int x = std::max(0, left); x < right && x < image.width(); ++x)
            if (image.pixelColor(x, y).lightness() < background.lightness() - 80) ++dark;
        if (dark > 0) widths.push_back(dark);
    }
    if (widths.size() < 3) return 0;
    if (widths.front() < widths.back()) return 1;
    if (widths.front() > widths.back()) return -1;
    return 0;
}

TEST_F(VRListViewTest, TheSortMarkPointsUpForAscendingAndDownForDescending) {
    Add("b", 2, At(2024, 1, 1));
    Add("a", 1, At(2024, 1, 2));
    Bind();
    view.setColumnWidth(0, 160);
    view.SortByColumn(0, Qt::AscendingOrder);
    EXPECT_EQ(view.header()->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(NamesInOrder(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SortMarkDirection(*view.header(), 0), 1);
    view.SortByColumn(0, Qt::DescendingOrder);
    EXPECT_EQ(SortMarkDirection(*view.header(), 0), -1);
    view.SortByColumn(1, Qt::AscendingOrder);
    EXPECT_EQ(SortMarkDirection(*view.header(), 0), 0);
}

TEST_F(VRListViewTest, ChecksFollowTheirNodesThroughSorting) {
    Add("c", 3, At(2024, 1, 1));
    Add("a", 1, At(2024, 1, 1));
    Add("b", 2, At(2024, 1, 1));
    Bind();
    PVirtualNode c = view.GetFirst();
    view.SetCheckState(c, csCheckedNormal);
    view.SortByColumn(0, Qt::AscendingOrder);
    EXPECT_EQ(view.GetCellText(view.NodeAtPosition(2), 0), "c");
    EXPECT_EQ(view.NodeAtPosition(2)->CheckState, csCheckedNormal);
    EXPECT_EQ(view.model()->index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(view.model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

TEST_F(VRListViewTest, HiddenColumnsAreNotShown) {
    Add("a", 1, At(2024, 1, 1));
    Bind();
    view.SetColumnVisible(4, false);
    EXPECT_FALSE(view.ColumnVisible(4));
    EXPECT_TRUE(view.isColumnHidden(4));
    EXPECT_TRUE(view.ColumnVisible(1));
    EXPECT_THROW(view.SetColumnVisible(7, false), std::exception);
    view.Rebuild(true);  // a rebuild of the columns shows all again
    EXPECT_TRUE(view.ColumnVisible(4));
}

TEST_F(VRListViewTest, AClickOnTheCheckBoxRaisesOnCheckedButSetCheckStateDoesNot) {
    Add("a", 5, At(2024, 1, 1));
    Add("b", 7, At(2024, 1, 1));
    Bind();
    view.SetTotalsColumn(1);
    view.SetCheckState(view.GetFirst(), csCheckedNormal);
    EXPECT_TRUE(checked.empty());
    EXPECT_EQ(view.CheckTotals().Checked, 1);
    EXPECT_EQ(view.CheckTotals().CheckedSum, 5);

    const QModelIndex second = view.IndexOfNode(view.GetNext(view.GetFirst()));
    EXPECT_TRUE(view.model()->setData(second, Qt::Checked, Qt::CheckStateRole));
    ASSERT_EQ(checked.size(), 1u);
    EXPECT_EQ(checked[0], view.GetNext(view.GetFirst()));
    EXPECT_EQ(view.CheckTotals().Checked, 2);
    EXPECT_EQ(view.CheckTotals().CheckedSum, 12);
    EXPECT_EQ(view.CheckTotals().Sum, 12);
    EXPECT_EQ(view.CheckTotals().Count, 2);
}

TEST_F(VRListViewTest, KeptTotalsEqualAFullWalkAfterManyChanges) {
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) Add("f" + std::to_string(i), static_cast<std::int64_t>(random() % 100000), At(2024, 1, 1));
    Bind();
    view.SetTotalsColumn(1);
    view.SortByColumn(1, Qt::DescendingOrder);
    for (int step = 0; step < 5000; ++step) {
        PVirtualNode node = view.NodeAtPosition(static_cast<int>(random() % 2000));
        if (step % 3 == 0)
            view.model()->setData(view.IndexOfNode(node), node->CheckState == csCheckedNormal ? Qt::Unchecked : Qt::Checked,
                                  Qt::CheckStateRole);
        else
            view.SetCheckState(node, step % 2 ? csCheckedNormal : csUncheckedNormal);
    }
    TCheckTotals walked;
    for (PVirtualNode node = view.GetFirst(); node; node = view.GetNext(node)) {
        const std::int64_t size = view.GetCellValueAsInt64(node, 1);
        ++walked.Count;
        walked.Sum += size;
        if (node->CheckState == csCheckedNormal) {
            ++walked.Checked;
            walked.CheckedSum += size;
        }
    }
    EXPECT_EQ(view.CheckTotals().Count, walked.Count);
    EXPECT_EQ(view.CheckTotals().Checked, walked.Checked);
    EXPECT_EQ(view.CheckTotals().Sum, walked.Sum);
    EXPECT_EQ(view.CheckTotals().CheckedSum, walked.CheckedSum);
    EXPECT_GT(walked.Checked, 0);
}

TEST_F(VRListViewTest, AnUpdateRepaintsOnceAndEndsCleanly) {
    for (int i = 0; i < 50; ++i) Add("f" + std::to_string(i), i, At(2024, 1, 1));
    Bind();
    QSignalSpy changes(view.model(), &QAbstractItemModel::dataChanged);
    view.BeginUpdate();
    EXPECT_FALSE(view.updatesEnabled());
    for (PVirtualNode node = view.GetFirst(); node; node = view.GetNext(node)) view.SetCheckState(node, csCheckedNormal);
    EXPECT_EQ(changes.count(), 0);
    view.EndUpdate();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_TRUE(view.updatesEnabled());
    EXPECT_FALSE(view.Updating());
}

TEST_F(VRListViewTest, AnEmptiedTableShowsNothingUntilTheRebuild) {
    Add("a", 1, At(2024, 1, 1));
    Add("b", 2, At(2024, 1, 1));
    Bind();
    table.RowsClear();
    // The nodes are stale until the rebuild; reading them must not fail.
    EXPECT_FALSE(view.model()->index(1, 0).data().isValid());
    view.grab();
    view.Rebuild(true);
    EXPECT_EQ(view.RootNodeCount(), 0);
    EXPECT_EQ(view.GetFirst(), nullptr);
}

TEST_F(VRListViewTest, ClearLeavesTheTable) {
    Add("a", 1, At(2024, 1, 1));
    Bind();
    view.Clear();
    EXPECT_EQ(view.RootNodeCount(), 0);
    EXPECT_EQ(table.GetRowCount(), 1);
}

}  // namespace
