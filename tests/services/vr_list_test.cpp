#include "host/services/vr_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/services/exceptions.h"

namespace tavik {
namespace {

// The four column kinds the archive contents table uses, plus a text column.
class VRListTest : public ::testing::Test {
protected:
    void SetUp() override {
        AddColumn("Name", vrkText);
        AddColumn("Größe", vrkInt64);
        AddColumn("Datum", vrkDate);
        AddColumn("Uhrzeit", vrkTime);
        AddColumn("Index", vrkInteger);
    }

    void AddColumn(const std::string& caption, int kind) {
        TVRColumn& column = List.ColumnAdd();
        column.Caption = caption;
        column.Kind = kind;
    }

    void AddRow(const std::string& name, std::int64_t size, TDateTime time) {
        List.RowAdd({name, size, time, time, static_cast<std::int32_t>(List.GetRowCount())}, 0);
    }

    TVRList List;
    const TDateTime Stamp = EncodeDateTime({2026, 2, 3, 14, 5, 9});
};

TEST_F(VRListTest, NewColumnsHaveTheCommonDefaultSettings) {
    TVRList list;
    const TVRColumn& column = list.ColumnAdd();
    EXPECT_EQ(column.Caption, "");
    EXPECT_EQ(column.Alignment, 0);
    EXPECT_EQ(column.Format, "");
    EXPECT_EQ(column.Width, 0);
    EXPECT_TRUE(column.Visible);
    EXPECT_EQ(list.GetColumnCount(), 1);
    EXPECT_EQ(&list.GetColumn(0), &column);
}

TEST_F(VRListTest, ColumnReferencesStayValidWhileColumnsAreAdded) {
    TVRColumn& first = List.GetColumn(0);
    for (int i = 0; i < 100; ++i) List.ColumnAdd().Caption = "c" + std::to_string(i);
    first.Width = 120;
    EXPECT_EQ(List.GetColumn(0).Width, 120);
    EXPECT_EQ(List.GetColumn(0).Caption, "Name");
    EXPECT_EQ(List.GetColumnCount(), 105);
}

TEST_F(VRListTest, RowsReadBackTypedAndFormatted) {
    AddRow("stadata/m01/beleg0001.dat", 1750, Stamp);
    AddRow("stadata/m01/beleg0002.dat", std::int64_t{5} << 40, Stamp + std::chrono::seconds{1});
    ASSERT_EQ(List.GetRowCount(), 2);

    EXPECT_EQ(List.GetText(0, 0), "stadata/m01/beleg0001.dat");
    EXPECT_EQ(PVRItem2Int64(List.GetCellValue(1, 1)), std::int64_t{5} << 40);
    EXPECT_EQ(PVRItem2Date(List.GetCellValue(0, 2)), Stamp);
    EXPECT_EQ(PVRItem2Date(List.GetCellValue(1, 3)), Stamp + std::chrono::seconds{1});
    EXPECT_EQ(PVRItem2Integer(List.GetCellValue(1, 4)), 1);
    EXPECT_EQ(PVRItem2Int64(List.GetCellValue(1, 4)), 1);  // an integer column read as 64-bit

    EXPECT_EQ(List.GetCellValueAsFormatedString(0, 0), "stadata/m01/beleg0001.dat");
    EXPECT_EQ(List.GetCellValueAsFormatedString(1, 1), "5497558138880");
    EXPECT_EQ(List.GetCellValueAsFormatedString(0, 2), "03.02.2026");
    EXPECT_EQ(List.GetCellValueAsFormatedString(0, 3), "14:05:09");
    EXPECT_EQ(List.GetCellValueAsFormatedString(1, 4), "1");
}

TEST_F(VRListTest, NegativeAndExtremeNumbersSurvive) {
    List.RowAdd({std::string(), std::int64_t{-1}, TDateTime{}, TDateTime{}, std::int32_t{-2147483647 - 1}});
    EXPECT_EQ(List.GetCellValueAsFormatedString(0, 1), "-1");
    EXPECT_EQ(List.GetCellValueAsFormatedString(0, 4), "-2147483648");
    EXPECT_EQ(List.GetCellValueAsFormatedString(0, 0), "");
    EXPECT_EQ(List.GetCellValueAsFormatedString(0, 2), "");  // no date known
}

TEST_F(VRListTest, ANumberColumnWithTheGroupedFormatShowsThousands) {
    List.GetColumn(1).Format = vrfGrouped;
    List.GetColumn(4).Format = vrfGrouped;
    List.RowAdd({std::string("a"), std::int64_t{155'814'716}, Stamp, Stamp, std::int32_t{-1234}});
    List.RowAdd({std::string("b"), std::int64_t{-9'223'372'036'854'775'807 - 1}, Stamp, Stamp, std::int32_t{999}});
    EXPECT_EQ(List.GetCellValueAsFormatedString(0, 1), "155.814.716");
    EXPECT_EQ(List.GetCellValueAsFormatedString(0, 4), "-1.234");
    EXPECT_EQ(List.GetCellValueAsFormatedString(1, 1), "-9.223.372.036.854.775.808");
    EXPECT_EQ(List.GetCellValueAsFormatedString(1, 4), "999");
    // The value stays the number.
    EXPECT_EQ(List.GetInt64(0, 1), 155'814'716);
}

TEST_F(VRListTest, ReadingACellAsTheWrongKindThrows) {
    AddRow("a", 1, Stamp);
    EXPECT_THROW(PVRItem2Integer(List.GetCellValue(0, 0)), EOlvex);
    EXPECT_THROW(PVRItem2Int64(List.GetCellValue(0, 0)), EOlvex);
    EXPECT_THROW(PVRItem2Date(List.GetCellValue(0, 0)), EOlvex);
    EXPECT_THROW(PVRItem2Integer(List.GetCellValue(0, 1)), EOlvex);
    EXPECT_THROW(PVRItem2Int64(List.GetCellValue(0, 2)), EOlvex);
    EXPECT_THROW(List.GetText(0, 1), EOlvex);
    EXPECT_THROW(PVRItem2Integer(PVRItem{}), EOlvex);
}

TEST_F(VRListTest, CellsOutsideTheTableThrow) {
    AddRow("a", 1, Stamp);
    EXPECT_THROW(List.GetCellValue(1, 0), EOlvex);
    EXPECT_THROW(List.GetCellValue(-1, 0), EOlvex);
    EXPECT_THROW(List.GetCellValue(0, 5), EOlvex);
    EXPECT_THROW(List.GetCellValueAsFormatedString(0, -1), EOlvex);
    EXPECT_THROW(List.GetColumn(5), EOlvex);
    EXPECT_THROW(List.GetRowTag(1), EOlvex);
}

TEST_F(VRListTest, AWrongValueKindIsRefusedWithAGermanMessageAndAddsNothing) {
    AddRow("a", 1, Stamp);
    try {
        // "Größe" given as a 32-bit integer instead of a 64-bit one.
        List.RowAdd({std::string("b"), std::int32_t{2}, Stamp, Stamp, std::int32_t{1}});
        FAIL() << "no exception";
    } catch (const EOlvex& error) {
        EXPECT_NE(std::string(error.what()).find("Größe"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("nicht übernommen"), std::string::npos) << error.what();
    }
    EXPECT_THROW(List.RowAdd({std::string("b"), std::int64_t{2}, std::string("x"), Stamp, std::int32_t{1}}),
                 EOlvex);
    EXPECT_EQ(List.GetRowCount(), 1);
    AddRow("c", 3, Stamp);
    EXPECT_EQ(List.GetText(1, 0), "c");
    EXPECT_EQ(PVRItem2Int64(List.GetCellValue(1, 1)), 3);
}

TEST_F(VRListTest, AWrongValueCountIsRefused) {
    EXPECT_THROW(List.RowAdd({std::string("a"), std::int64_t{1}, Stamp, Stamp}), EOlvex);
    const std::vector<TVRValue> tooMany{std::string("a"), std::int64_t{1}, Stamp, Stamp, std::int32_t{0}, 0};
    EXPECT_THROW(List.RowAdd(tooMany), EOlvex);
    EXPECT_EQ(List.GetRowCount(), 0);
}

TEST_F(VRListTest, RowsCanBeGivenAsAVectorAndCarryTheirTag) {
    const std::vector<TVRValue> row{std::string("a"), std::int64_t{1}, Stamp, Stamp, std::int32_t{0}};
    List.RowAdd(row);
    List.RowAdd(row, 77);
    List.RowAdd(row);
    EXPECT_EQ(List.GetRowTag(0), 0);
    EXPECT_EQ(List.GetRowTag(1), 77);
    EXPECT_EQ(List.GetRowTag(2), 0);
}

TEST_F(VRListTest, RowsClearEmptiesAndAllowsNewKinds) {
    AddRow("a", 1, Stamp);
    List.RowsClear();
    EXPECT_EQ(List.GetRowCount(), 0);
    EXPECT_THROW(List.GetCellValue(0, 0), EOlvex);
    List.GetColumn(1).Kind = vrkText;
    List.RowAdd({std::string("a"), std::string("groß"), Stamp, Stamp, std::int32_t{0}});
    EXPECT_EQ(List.GetText(0, 1), "groß");
}

TEST_F(VRListTest, TheKindCannotChangeNorColumnsBeAddedWhileRowsExist) {
    AddRow("a", 1, Stamp);
    EXPECT_THROW(List.ColumnAdd(), EOlvex);
    List.GetColumn(0).Kind = vrkInteger;
    EXPECT_THROW(List.RowAdd({std::int32_t{1}, std::int64_t{1}, Stamp, Stamp, std::int32_t{1}}), EOlvex);
    EXPECT_EQ(List.GetText(0, 0), "a");
}

TEST_F(VRListTest, AnUnknownKindIsRefusedAtTheFirstRow) {
    List.GetColumn(2).Kind = 3;
    EXPECT_THROW(AddRow("a", 1, Stamp), EOlvex);
    List.GetColumn(2).Kind = vrkDate;
    AddRow("a", 1, Stamp);
    EXPECT_EQ(List.GetRowCount(), 1);
}

TEST_F(VRListTest, RepeatedAndVaryingTextsReadBackExactly) {
    // Runs of equal texts, texts equal to an older row only, empty texts, texts with zero bytes
    // and texts longer than a storage block.
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i) {
        switch (i % 7) {
            case 0:
            case 1:
            case 2: texts.push_back("/srv/olvex/stadata/m" + std::to_string(i / 7)); break;
            case 3: texts.push_back(""); break;
            case 4: texts.push_back(std::string("a\0b", 3) + std::to_string(i)); break;
            case 5: texts.push_back(std::string(static_cast<std::size_t>(100 + i * 37 % 700), 'x')); break;
            default: texts.push_back(texts[static_cast<std::size_t>(i) - 3]); break;
        }
    }
    texts[1000] = std::string(300000, 'L');
    texts[1001] = texts[1000];
    texts[2000] = std::string(1 << 20, 'M');
    for (const std::string& text : texts) AddRow(text, 0, Stamp);
    ASSERT_EQ(List.GetRowCount(), static_cast<int>(texts.size()));
    for (std::size_t i = 0; i < texts.size(); ++i)
        ASSERT_EQ(List.GetText(static_cast<int>(i), 0), texts[i]) << "row " << i;
}

}  // namespace
}  // namespace tavik
