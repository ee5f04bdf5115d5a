#pragma once
// TVRList: a table with typed columns, the data behind the tree-grid views. The candidate
// tables of the scan hold up to a million rows, so the cells are kept by column: one vector
// per numeric column, and for a text column one offset per row into blocks of characters, where
// a text equal to the one above it in the same column is stored only once.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/services/date_time.h"

namespace tavik {

// Column kinds (TVRColumn::Kind). Date and time columns both hold a full date-time; they differ
// only in what the formatted text shows.
inline constexpr int vrkInteger = 1;  // std::int32_t
inline constexpr int vrkInt64 = 2;    // std::int64_t
inline constexpr int vrkText = 6;     // std::string
inline constexpr int vrkDate = 7;     // TDateTime, shown as "dd.mm.yyyy"
inline constexpr int vrkTime = 8;     // TDateTime, shown as "hh:mm:ss"

// The Format of a number column whose cells show German thousands grouping (155.814.716); the
// empty format shows the plain digits.
inline constexpr const char* vrfGrouped = "#,##0";

using TVRValue = std::variant<std::int32_t, std::int64_t, std::string, TDateTime>;

// The settings of one column. Caption and Kind are set after ColumnAdd, before the first row;
// the kind cannot change while the table has rows. The other settings are kept for the views.
struct TVRColumn {
    std::string Caption;
    int Kind = vrkText;
    std::uint8_t Alignment = 0;
    std::string Format;
    int Width = 0;
    bool Visible = true;
};

class TVRList;

// A reference to one cell, read with the PVRItem2... functions. Valid while the table has the row.
class PVRItem {
public:
    PVRItem() = default;
    const TVRList* List() const { return FList; }
    int Row() const { return FRow; }
    int Column() const { return FColumn; }

private:
    friend class TVRList;
    PVRItem(const TVRList* list, int row, int column) : FList(list), FRow(row), FColumn(column) {}

    const TVRList* FList = nullptr;
    int FRow = 0;
    int FColumn = 0;
};

// Each throws EOlvex for a cell of another kind: Integer reads integer columns, Int64 integer
// and 64-bit integer columns, Date date and time columns.
std::int32_t PVRItem2Integer(const PVRItem& item);
std::int64_t PVRItem2Int64(const PVRItem& item);
TDateTime PVRItem2Date(const PVRItem& item);

class TVRList {
public:
    TVRList();
    ~TVRList();
    TVRList(TVRList&&) noexcept;
    TVRList& operator=(TVRList&&) noexcept;
    TVRList(const TVRList&) = delete;
    TVRList& operator=(const TVRList&) = delete;

    // Appends a column; only while the table has no rows. The reference stays valid as long as
    // the table lives.
    TVRColumn& ColumnAdd();
    int GetColumnCount() const;
    TVRColumn& GetColumn(int column);
    const TVRColumn& GetColumn(int column) const;

    int GetRowCount() const;
    void RowsClear();
    // Appends one row: one value per column, in column order, each of its column's kind. A wrong
    // count or kind throws EOlvex and adds nothing. The tag is kept with the row.
    void RowAdd(std::initializer_list<TVRValue> values, std::int64_t tag = 0);
    void RowAdd(const std::vector<TVRValue>& values, std::int64_t tag = 0);
    std::int64_t GetRowTag(int row) const;

    // Every reading call throws EOlvex for a row or column that does not exist.
    PVRItem GetCellValue(int row, int column) const;
    // Text as it is, integers in decimal, date columns "dd.mm.yyyy", time columns "hh:mm:ss"
    // (the zero date-time as the empty text).
    std::string GetCellValueAsFormatedString(int row, int column) const;
    // Typed reads; each throws EOlvex for a column of another kind (see the PVRItem2... functions).
    std::string_view GetText(int row, int column) const;
    std::int32_t GetInteger(int row, int column) const;
    std::int64_t GetInt64(int row, int column) const;
    TDateTime GetDateTime(int row, int column) const;

private:
    class TTextStore;
    struct TColumnStore;

    void RowAddValues(const TVRValue* values, std::size_t count, std::int64_t tag);
    void PrepareStores();
    void CheckRow(const TVRValue* values, std::size_t count) const;
    const TColumnStore& Store(int row, int column) const;

    std::deque<TVRColumn> FColumns;
    // One store per column, built from the column kinds when the first row is added.
    std::vector<std::unique_ptr<TColumnStore>> FStores;
    std::vector<std::int64_t> FTags;  // stays empty while every tag is 0
    int FRowCount = 0;
};

}  // namespace tavik
