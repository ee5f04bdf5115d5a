#include "host/services/vr_list.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "host/services/exceptions.h"
#include "host/services/formatting.h"

namespace tavik {

namespace {

const char* const kReport = " Bitte melden Sie diesen Fehler dem Olvex-Support.";

const char* KindName(int kind) {
    switch (kind) {
        case vrkInteger: return "eine Ganzzahl";
        case vrkInt64: return "eine 64-Bit-Ganzzahl";
        case vrkText: return "ein Text";
        case vrkDate: return "ein Datum";
        case vrkTime: return "eine Uhrzeit";
        default: return "ein unbekannter Wert";
    }
}

const char* ValueName(const TVRValue& value) {
    switch (value.index()) {
        case 0: return "eine Ganzzahl";
        case 1: return "eine 64-Bit-Ganzzahl";
        case 2: return "ein Text";
        default: return "ein Datum mit Uhrzeit";
    }
}

bool IsKnownKind(int kind) {
    return kind == vrkInteger || kind == vrkInt64 || kind == vrkText || kind == vrkDate || kind == vrkTime;
}

bool Fits(const TVRValue& value, int kind) {
    switch (kind) {
        case vrkInteger: return std::holds_alternative<std::int32_t>(value);
        case vrkInt64: return std::holds_alternative<std::int64_t>(value);
        case vrkText: return std::holds_alternative<std::string>(value);
        case vrkDate:
        case vrkTime: return std::holds_alternative<TDateTime>(value);
        default: return false;
    }
}

}  // namespace

// The texts of one column. Each text is stored once as a length (7 bits per byte, low bits
// first) followed by its characters, in blocks of 256 KiB; a row holds the 32-bit position of its
// text: block number in the upper 14 bits, offset in the lower 18. A text longer than a block
// gets a block of its own. Blocks never move, so adding rows never copies texts.
class TVRList::TTextStore {
public:
    void Add(std::string_view text) {
        if (!FRefs.empty() && Get(FRefs.size() - 1) == text) {
            FRefs.push_back(FRefs.back());
            return;
        }
        if (text.size() > std::numeric_limits<std::uint32_t>::max())
            throw EOlvex("Ein Text von " + std::to_string(text.size()) +
                         " Zeichen ist für eine Tabellenzelle zu lang." + kReport);
        char prefix[5];
        std::size_t prefixSize = 0;
        for (auto length = static_cast<std::uint32_t>(text.size());; length >>= 7) {
            prefix[prefixSize++] = static_cast<char>(length < 0x80 ? length : (length & 0x7F) | 0x80);
            if (length < 0x80) break;
        }
        const std::size_t needed = prefixSize + text.size();
        if (FBlocks.empty() || FBlockSize - FUsed < needed) NewBlock(needed);
        char* target = FBlocks.back().get() + FUsed;
        std::memcpy(target, prefix, prefixSize);
        if (!text.empty()) std::memcpy(target + prefixSize, text.data(), text.size());
        FRefs.push_back(static_cast<std::uint32_t>(((FBlocks.size() - 1) << kOffsetBits) | FUsed));
        FUsed += needed;
    }

    std::string_view Get(std::size_t row) const {
        const std::uint32_t ref = FRefs[row];
        const auto* p = reinterpret_cast<const unsigned char*>(FBlocks[ref >> kOffsetBits].get() +
                                                               (ref & (kBlockSize - 1)));
        std::uint32_t length = 0;
        for (int shift = 0;; shift += 7) {
            const unsigned char byte = *p++;
            length |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
            if (byte < 0x80) break;
        }
        return {reinterpret_cast<const char*>(p), length};
    }

    // Forgets the rows from the given one on. Their characters stay in the blocks unused; this
    // only happens when adding a row failed half-way.
    void Truncate(std::size_t rows) { FRefs.resize(std::min(FRefs.size(), rows)); }

private:
    static constexpr unsigned kOffsetBits = 18;
    static constexpr std::size_t kBlockSize = std::size_t{1} << kOffsetBits;
    static constexpr std::size_t kMaxBlocks = std::size_t{1} << (32 - kOffsetBits);

    void NewBlock(std::size_t needed) {
        if (FBlocks.size() == kMaxBlocks)
            throw EOlvex("Eine Spalte der Tabelle kann nicht mehr als 4 GB Text aufnehmen. Schränken Sie die "
                         "Auswahl ein (zum Beispiel auf weniger Verzeichnisse) und versuchen Sie es erneut.");
        FBlockSize = std::max(kBlockSize, needed);
        FBlocks.push_back(std::make_unique_for_overwrite<char[]>(FBlockSize));
        FUsed = 0;
    }

    std::vector<std::uint32_t> FRefs;
    std::vector<std::unique_ptr<char[]>> FBlocks;
    std::size_t FUsed = 0;
    std::size_t FBlockSize = 0;
};

struct TVRList::TColumnStore {
    explicit TColumnStore(int kind) : Kind(kind) {}

    int Kind;
    std::vector<std::int32_t> Integers;  // vrkInteger
    std::vector<std::int64_t> Numbers;   // vrkInt64; vrkDate and vrkTime as seconds
    TTextStore Texts;                    // vrkText
};

TVRList::TVRList() = default;
TVRList::~TVRList() = default;
TVRList::TVRList(TVRList&&) noexcept = default;
TVRList& TVRList::operator=(TVRList&&) noexcept = default;

TVRColumn& TVRList::ColumnAdd() {
    if (FRowCount > 0)
        throw EOlvex("Einer Tabelle mit Zeilen kann keine Spalte hinzugefügt werden." + std::string(kReport));
    FStores.clear();
    return FColumns.emplace_back();
}

int TVRList::GetColumnCount() const { return static_cast<int>(FColumns.size()); }

TVRColumn& TVRList::GetColumn(int column) {
    return const_cast<TVRColumn&>(std::as_const(*this).GetColumn(column));
}

const TVRColumn& TVRList::GetColumn(int column) const {
    if (column < 0 || column >= GetColumnCount())
        throw EOlvex("Die Spalte " + std::to_string(column) + " gibt es nicht; die Tabelle hat " +
                     std::to_string(GetColumnCount()) + " Spalten." + kReport);
    return FColumns[static_cast<std::size_t>(column)];
}

int TVRList::GetRowCount() const { return FRowCount; }

void TVRList::RowsClear() {
    FStores.clear();
    FTags.clear();
    FTags.shrink_to_fit();
    FRowCount = 0;
}

void TVRList::RowAdd(std::initializer_list<TVRValue> values, std::int64_t tag) {
    RowAddValues(values.begin(), values.size(), tag);
}

void TVRList::RowAdd(const std::vector<TVRValue>& values, std::int64_t tag) {
    RowAddValues(values.data(), values.size(), tag);
}

void TVRList::PrepareStores() {
    for (std::size_t i = 0; i < FColumns.size(); ++i)
        if (!IsKnownKind(FColumns[i].Kind))
            throw EOlvex("Die Spalte „" + FColumns[i].Caption + "“ hat die unbekannte Art " +
                         std::to_string(FColumns[i].Kind) + "; die Zeile wurde nicht übernommen." + kReport);
    FStores.clear();
    for (const TVRColumn& column : FColumns) FStores.push_back(std::make_unique<TColumnStore>(column.Kind));
}

void TVRList::CheckRow(const TVRValue* values, std::size_t count) const {
    if (count != FColumns.size())
        throw EOlvex("Die Zeile hat " + std::to_string(count) + " Werte, die Tabelle aber " +
                     std::to_string(FColumns.size()) + " Spalten; die Zeile wurde nicht übernommen." + kReport);
    if (FRowCount == std::numeric_limits<int>::max())
        throw EOlvex("Die Tabelle ist voll; es können keine weiteren Zeilen aufgenommen werden. Schränken Sie "
                     "die Auswahl ein und versuchen Sie es erneut.");
    for (std::size_t i = 0; i < count; ++i) {
        const TVRColumn& column = FColumns[i];
        if (column.Kind != FStores[i]->Kind)
            throw EOlvex("Die Art der Spalte „" + column.Caption +
                         "“ wurde geändert, während die Tabelle Zeilen hat; die Zeile wurde nicht übernommen." +
                         kReport);
        if (!Fits(values[i], column.Kind))
            throw EOlvex("Die Spalte „" + column.Caption + "“ erwartet " + KindName(column.Kind) +
                         ", übergeben wurde " + ValueName(values[i]) + "; die Zeile wurde nicht übernommen." +
                         kReport);
    }
}

void TVRList::RowAddValues(const TVRValue* values, std::size_t count, std::int64_t tag) {
    if (FRowCount == 0) PrepareStores();
    CheckRow(values, count);

    const auto rows = static_cast<std::size_t>(FRowCount);
    try {
        if (tag != 0 && FTags.empty()) FTags.resize(rows, 0);
        if (!FTags.empty()) FTags.push_back(tag);
        for (std::size_t i = 0; i < count; ++i) {
            TColumnStore& store = *FStores[i];
            switch (store.Kind) {
                case vrkInteger: store.Integers.push_back(std::get<std::int32_t>(values[i])); break;
                case vrkInt64: store.Numbers.push_back(std::get<std::int64_t>(values[i])); break;
                case vrkText: store.Texts.Add(std::get<std::string>(values[i])); break;
                default: store.Numbers.push_back(std::get<TDateTime>(values[i]).time_since_epoch().count()); break;
            }
        }
    } catch (...) {
        // Leave the table as it was: no column may keep a part of the row.
        FTags.resize(FTags.empty() ? 0 : rows);
        for (const auto& store : FStores) {
            store->Integers.resize(std::min(store->Integers.size(), rows));
            store->Numbers.resize(std::min(store->Numbers.size(), rows));
            store->Texts.Truncate(rows);
        }
        throw;
    }
    ++FRowCount;
}

std::int64_t TVRList::GetRowTag(int row) const {
    if (row < 0 || row >= FRowCount)
        throw EOlvex("Die Zeile " + std::to_string(row) + " gibt es nicht; die Tabelle hat " +
                     std::to_string(FRowCount) + " Zeilen." + kReport);
    return FTags.empty() ? 0 : FTags[static_cast<std::size_t>(row)];
}

const TVRList::TColumnStore& TVRList::Store(int row, int column) const {
    if (row < 0 || row >= FRowCount)
        throw EOlvex("Die Zeile " + std::to_string(row) + " gibt es nicht; die Tabelle hat " +
                     std::to_string(FRowCount) + " Zeilen." + kReport);
    GetColumn(column);
    return *FStores[static_cast<std::size_t>(column)];
}

PVRItem TVRList::GetCellValue(int row, int column) const {
    Store(row, column);
    return PVRItem(this, row, column);
}

std::string_view TVRList::GetText(int row, int column) const {
    const TColumnStore& store = Store(row, column);
    if (store.Kind != vrkText)
        throw EOlvex("Die Spalte „" + FColumns[static_cast<std::size_t>(column)].Caption + "“ enthält " +
                     KindName(store.Kind) + ", keinen Text." + kReport);
    return store.Texts.Get(static_cast<std::size_t>(row));
}

std::int32_t TVRList::GetInteger(int row, int column) const {
    const TColumnStore& store = Store(row, column);
    if (store.Kind != vrkInteger)
        throw EOlvex("Die Spalte „" + FColumns[static_cast<std::size_t>(column)].Caption + "“ enthält " +
                     KindName(store.Kind) + ", keine Ganzzahl." + kReport);
    return store.Integers[static_cast<std::size_t>(row)];
}

std::int64_t TVRList::GetInt64(int row, int column) const {
    const TColumnStore& store = Store(row, column);
    if (store.Kind == vrkInteger) return store.Integers[static_cast<std::size_t>(row)];
    if (store.Kind != vrkInt64)
        throw EOlvex("Die Spalte „" + FColumns[static_cast<std::size_t>(column)].Caption + "“ enthält " +
                     KindName(store.Kind) + ", keine Ganzzahl." + kReport);
    return store.Numbers[static_cast<std::size_t>(row)];
}

TDateTime TVRList::GetDateTime(int row, int column) const {
    const TColumnStore& store = Store(row, column);
    if (store.Kind != vrkDate && store.Kind != vrkTime)
        throw EOlvex("Die Spalte „" + FColumns[static_cast<std::size_t>(column)].Caption + "“ enthält " +
                     KindName(store.Kind) + ", kein Datum." + kReport);
    return TDateTime{std::chrono::seconds{store.Numbers[static_cast<std::size_t>(row)]}};
}

std::string TVRList::GetCellValueAsFormatedString(int row, int column) const {
    const int kind = Store(row, column).Kind;
    const bool grouped = GetColumn(column).Format == vrfGrouped;
    switch (kind) {
        case vrkInteger:
            return grouped ? tavik_FormatGrouped(GetInteger(row, column)) : std::to_string(GetInteger(row, column));
        case vrkInt64:
            return grouped ? tavik_FormatGrouped(GetInt64(row, column)) : std::to_string(GetInt64(row, column));
        case vrkText: return std::string(GetText(row, column));
        case vrkDate: return tavik_DateToStr(GetDateTime(row, column), 10);
        default: return tavik_TimeToStr(GetDateTime(row, column));
    }
}

namespace {

const TVRList& ListOf(const PVRItem& item) {
    if (item.List() == nullptr)
        throw EOlvex("Es wurde keine Tabellenzelle angegeben." + std::string(kReport));
    return *item.List();
}

}  // namespace

std::int32_t PVRItem2Integer(const PVRItem& item) { return ListOf(item).GetInteger(item.Row(), item.Column()); }

std::int64_t PVRItem2Int64(const PVRItem& item) { return ListOf(item).GetInt64(item.Row(), item.Column()); }

TDateTime PVRItem2Date(const PVRItem& item) { return ListOf(item).GetDateTime(item.Row(), item.Column()); }

}  // namespace tavik
