#include "host/engine/zip/zip_deflate64.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "host/engine/zip/zip_huffman_table.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr std::size_t kWindowSize = 64 * 1024;
// Decoded bytes gather behind the window until they are handed on; then the last 64 KiB move
// to the front.
constexpr std::size_t kHistorySize = 2 * kWindowSize;
// Matches are copied in steps of 8 bytes, the last of which may write past the match's end.
constexpr std::size_t kCopyStep = 8;
constexpr std::size_t kCopySlack = kCopyStep - 1;

constexpr unsigned kEndOfBlock = 256;
constexpr unsigned kFirstLengthSymbol = 257;
constexpr unsigned kLastLengthSymbol = 285;
constexpr unsigned kMaxLiteralSymbols = 286;  // the fixed code's 286 and 287 stand for nothing
constexpr unsigned kMaxDistanceSymbols = 32;
constexpr unsigned kCodeLengthSymbols = 19;

constexpr std::array<std::uint8_t, kCodeLengthSymbols> kCodeLengthOrder{
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Length symbols 257 to 285: where deflate gives 285 the length 258, Deflate64 gives it 16 extra
// bits on base 3.
constexpr std::array<std::uint16_t, 29> kLengthBase{
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr std::array<std::uint8_t, 29> kLengthExtraBits{
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
// Distance symbols 0 to 31; 30 and 31 reach into the second half of the 64 KiB window.
constexpr std::array<std::uint16_t, kMaxDistanceSymbols> kDistanceBase{
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,    65,    97,    129,   193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::array<std::uint8_t, kMaxDistanceSymbols> kDistanceExtraBits{
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// Root bits of the tables, and room for the sub-tables of codes longer than the root. A
// complete code has at least k + 1 codes in a sub-table 2^k wide: 286 symbols fill at most 47
// sub-tables of 32 entries and a smaller one after a root of 10 bits, 32 symbols at most 4 of
// 128 after one of 8.
constexpr unsigned kLiteralRootBits = 10;
constexpr unsigned kDistanceRootBits = 8;
constexpr unsigned kCodeLengthRootBits = 7;  // code length codes are at most 7 bits long
constexpr std::size_t kLiteralTableSize = 1024 + 48 * 32;
constexpr std::size_t kDistanceTableSize = 256 + 4 * 128;
constexpr std::size_t kCodeLengthTableSize = 128;

[[noreturn]] void Damaged(const std::string& what) {
    throw EOlvex("Die Deflate64-Daten sind ungültig: " + what + " (beschädigt).", TErrorKind::DamagedArchive);
}

std::uint64_t LoadLittleEndian64(const std::uint8_t* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

// The input's bits not yet decoded, least significant first. Bits above count are zero, so a
// table looks up a code whose last bits have not come yet as a code longer than count.
struct TBitReader {
    std::uint64_t bits = 0;
    unsigned count = 0;
    const std::uint8_t* next = nullptr;
    const std::uint8_t* end = nullptr;

    // At least 56 bits afterwards, as long as the input lasts.
    void Refill() {
        if (count >= 56) return;
        if (end - next >= 8) {
            bits |= LoadLittleEndian64(next) << count;
            const unsigned bytes = (63 - count) / 8;
            next += bytes;
            count += 8 * bytes;
            bits &= ~std::uint64_t{0} >> (64 - count);
            return;
        }
        for (; count <= 56 && next != end; count += 8) bits |= std::uint64_t{*next++} << count;
    }
    bool Has(unsigned n) {
        Refill();
        return count >= n;
    }
    std::uint32_t Take(unsigned n) {
        const auto value = static_cast<std::uint32_t>(bits & ((std::uint64_t{1} << n) - 1));
        bits >>= n;
        count -= n;
        return value;
    }
};

class TDeflate64Decoder final : public TZipMethodDecoder {
public:
    TDeflate64Decoder();
    TDeflate64Decoder(const TDeflate64Decoder&) = delete;
    TDeflate64Decoder& operator=(const TDeflate64Decoder&) = delete;

    bool Decode(const std::uint8_t* in, std::size_t size, bool last, std::uint8_t* out, std::size_t room,
                std::size_t& used, std::size_t& made) override;

private:
    enum class TStage { BlockHeader, StoredHeader, Stored, TableSizes, CodeLengthCodes, CodeLengths, Symbols, End };
    struct TMatch {
        bool distanceNext = false;  // the length is read, the distance comes next
        std::uint32_t length = 0;
        std::uint32_t left = 0;  // bytes still to copy once the distance is known
        std::uint32_t distance = 0;
    };

    // Decodes into the history until the input runs out, the history is full or the stream ends.
    void Advance();
    // Each step tells whether its stage is complete; false: it waits for input or room.
    bool Step();
    bool ReadBlockHeader();
    bool ReadStoredHeader();
    bool CopyStored();
    bool ReadTableSizes();
    bool ReadCodeLengthCodes();
    bool ReadCodeLengths();
    bool DecodeSymbols();
    static std::size_t CopyMatch(TMatch& match, std::uint8_t* history, std::size_t end);
    std::size_t HandOn(std::uint8_t* out, std::size_t room);
    void Slide();

    TBitReader FReader;
    TStage FStage = TStage::BlockHeader;
    bool FFinalBlock = false;
    bool FFixedCodes = false;

    // The last 64 KiB of output and what is decoded after them; [FHandedOn, FEnd) waits for room.
    std::unique_ptr<std::uint8_t[]> FHistory;
    std::size_t FHandedOn = 0;
    std::size_t FEnd = 0;

    std::uint32_t FStoredLeft = 0;
    // A match whose distance is still to come, or whose bytes do not fit at once.
    TMatch FMatch;

    unsigned FLiteralCount = 0;
    unsigned FDistanceCount = 0;
    unsigned FCodeLengthCount = 0;
    unsigned FLengthsRead = 0;
    std::array<std::uint8_t, kCodeLengthSymbols> FCodeLengthLengths{};
    std::array<std::uint8_t, kMaxLiteralSymbols + kMaxDistanceSymbols> FLengths{};
    THuffmanTable FCodeLengthTable{kCodeLengthRootBits, kCodeLengthTableSize};
    THuffmanTable FLiteralTable{kLiteralRootBits, kLiteralTableSize};
    THuffmanTable FDistanceTable{kDistanceRootBits, kDistanceTableSize};
    THuffmanTable FFixedLiteralTable{kLiteralRootBits, std::size_t{1} << kLiteralRootBits};
    THuffmanTable FFixedDistanceTable{kDistanceRootBits, std::size_t{1} << kDistanceRootBits};
};

TDeflate64Decoder::TDeflate64Decoder()
    : FHistory(std::make_unique_for_overwrite<std::uint8_t[]>(kHistorySize + kCopySlack)) {
    std::array<std::uint8_t, 288> literals{};
    std::fill(literals.begin(), literals.begin() + 144, 8);
    std::fill(literals.begin() + 144, literals.begin() + 256, 9);
    std::fill(literals.begin() + 256, literals.begin() + 280, 7);
    std::fill(literals.begin() + 280, literals.end(), 8);
    std::array<std::uint8_t, kMaxDistanceSymbols> distances{};
    distances.fill(5);
    FFixedLiteralTable.Build(literals);
    FFixedDistanceTable.Build(distances);
}

bool TDeflate64Decoder::Decode(const std::uint8_t* in, std::size_t size, bool, std::uint8_t* out, std::size_t room,
                               std::size_t& used, std::size_t& made) {
    FReader.next = in;
    FReader.end = in + size;
    made = 0;
    for (;;) {
        made += HandOn(out + made, room - made);
        if (FHandedOn < FEnd || FStage == TStage::End) break;
        if (FEnd == kHistorySize) Slide();
        Advance();
        if (FEnd < kHistorySize && FStage != TStage::End) {
            made += HandOn(out + made, room - made);
            break;
        }
    }
    if (FStage == TStage::End) {
        // Whole bytes read ahead past the end are not the stream's.
        const auto readAhead = static_cast<std::size_t>(FReader.next - in);
        FReader.next -= std::min<std::size_t>(FReader.count / 8, readAhead);
        FReader.bits = 0;
        FReader.count = 0;
    }
    used = static_cast<std::size_t>(FReader.next - in);
    FReader.next = FReader.end = nullptr;
    return FStage == TStage::End && FHandedOn == FEnd;
}

std::size_t TDeflate64Decoder::HandOn(std::uint8_t* out, std::size_t room) {
    const std::size_t size = std::min(room, FEnd - FHandedOn);
    if (size > 0) std::memcpy(out, FHistory.get() + FHandedOn, size);
    FHandedOn += size;
    return size;
}

void TDeflate64Decoder::Slide() {
    std::memmove(FHistory.get(), FHistory.get() + FEnd - kWindowSize, kWindowSize);
    FEnd = FHandedOn = kWindowSize;
}

void TDeflate64Decoder::Advance() {
    while (FStage != TStage::End && Step()) {
    }
}

bool TDeflate64Decoder::Step() {
    switch (FStage) {
        case TStage::BlockHeader: return ReadBlockHeader();
        case TStage::StoredHeader: return ReadStoredHeader();
        case TStage::Stored:
            if (!CopyStored()) return false;
            FStage = FFinalBlock ? TStage::End : TStage::BlockHeader;
            return true;
        case TStage::TableSizes: return ReadTableSizes();
        case TStage::CodeLengthCodes: return ReadCodeLengthCodes();
        case TStage::CodeLengths: return ReadCodeLengths();
        case TStage::Symbols:
            if (!DecodeSymbols()) return false;
            FStage = FFinalBlock ? TStage::End : TStage::BlockHeader;
            return true;
        case TStage::End: break;
    }
    return false;
}

bool TDeflate64Decoder::ReadBlockHeader() {
    if (!FReader.Has(3)) return false;
    FFinalBlock = FReader.Take(1) != 0;
    switch (FReader.Take(2)) {
        case 0: FStage = TStage::StoredHeader; break;
        case 1:
            FFixedCodes = true;
            FStage = TStage::Symbols;
            break;
        case 2:
            FFixedCodes = false;
            FStage = TStage::TableSizes;
            break;
        default: Damaged("ein Block hat den nicht definierten Typ 3");
    }
    return true;
}

bool TDeflate64Decoder::ReadStoredHeader() {
    // The length starts at the next whole byte; the bits read are whole bytes, so the rest of
    // the current one is what is over a multiple of 8.
    FReader.Take(FReader.count % 8);
    if (!FReader.Has(32)) return false;
    const std::uint32_t length = FReader.Take(16);
    const std::uint32_t complement = FReader.Take(16);
    if (length != (~complement & 0xFFFF))
        Damaged("die Länge eines ungepackten Blocks stimmt nicht mit ihrer Gegenprobe überein");
    FStoredLeft = length;
    FStage = TStage::Stored;
    return true;
}

bool TDeflate64Decoder::CopyStored() {
    std::uint8_t* const history = FHistory.get();
    // The bit reader may hold the first bytes already.
    while (FStoredLeft > 0 && FReader.count >= 8 && FEnd < kHistorySize) {
        history[FEnd++] = static_cast<std::uint8_t>(FReader.Take(8));
        --FStoredLeft;
    }
    if (FReader.count == 0) {
        const std::size_t size = std::min({static_cast<std::size_t>(FStoredLeft),
                                           static_cast<std::size_t>(FReader.end - FReader.next), kHistorySize - FEnd});
        if (size > 0) std::memcpy(history + FEnd, FReader.next, size);
        FReader.next += size;
        FEnd += size;
        FStoredLeft -= static_cast<std::uint32_t>(size);
    }
    return FStoredLeft == 0;
}

bool TDeflate64Decoder::ReadTableSizes() {
    if (!FReader.Has(14)) return false;
    FLiteralCount = kFirstLengthSymbol + FReader.Take(5);
    FDistanceCount = 1 + FReader.Take(5);
    FCodeLengthCount = 4 + FReader.Take(4);
    if (FLiteralCount > kMaxLiteralSymbols) Damaged("ein Block nennt mehr Längencodes, als es gibt");
    FCodeLengthLengths.fill(0);
    FLengthsRead = 0;
    FStage = TStage::CodeLengthCodes;
    return true;
}

bool TDeflate64Decoder::ReadCodeLengthCodes() {
    for (; FLengthsRead < FCodeLengthCount; ++FLengthsRead) {
        if (!FReader.Has(3)) return false;
        FCodeLengthLengths[kCodeLengthOrder[FLengthsRead]] = static_cast<std::uint8_t>(FReader.Take(3));
    }
    if (!FCodeLengthTable.Build(FCodeLengthLengths)) Damaged("die Codes der Codelängen eines Blocks sind ungültig");
    FLengthsRead = 0;
    FStage = TStage::CodeLengths;
    return true;
}

bool TDeflate64Decoder::ReadCodeLengths() {
    const unsigned total = FLiteralCount + FDistanceCount;
    while (FLengthsRead < total) {
        FReader.Refill();
        const THuffmanEntry& code = FCodeLengthTable.Lookup(FReader.bits);
        if (code.length > FReader.count) return false;
        if (code.kind == THuffmanEntry::NoCode) Damaged("eine Codelänge hat keinen gültigen Code");
        if (code.value < 16) {
            FReader.Take(code.length);
            FLengths[FLengthsRead++] = static_cast<std::uint8_t>(code.value);
            continue;
        }
        // 16 repeats the previous length 3 to 6 times, 17 and 18 give 3 to 10 and 11 to 138 zeros.
        const unsigned extraBits = code.value == 16 ? 2 : code.value == 17 ? 3 : 7;
        if (code.length + extraBits > FReader.count) return false;
        FReader.Take(code.length);
        const unsigned repeat = (code.value == 16 ? 3 : code.value == 17 ? 3 : 11) + FReader.Take(extraBits);
        if (code.value == 16 && FLengthsRead == 0) Damaged("eine Codelänge wiederholt eine, die es nicht gibt");
        if (repeat > total - FLengthsRead) Damaged("die Codelängen eines Blocks gehen über seine Codes hinaus");
        const std::uint8_t length = code.value == 16 ? FLengths[FLengthsRead - 1] : 0;
        std::fill_n(FLengths.begin() + FLengthsRead, repeat, length);
        FLengthsRead += repeat;
    }
    if (FLengths[kEndOfBlock] == 0) Damaged("einem Block fehlt der Code für sein Ende");
    const std::span<const std::uint8_t> lengths(FLengths.data(), total);
    if (!FLiteralTable.Build(lengths.first(FLiteralCount)) || !FDistanceTable.Build(lengths.subspan(FLiteralCount)))
        Damaged("die Codelängen eines Blocks ergeben keinen gültigen Huffman-Code");
    FStage = TStage::Symbols;
    return true;
}

// The hot loop works on copies of the bit reader, the write position and the match: stores of
// decoded bytes could otherwise alias them and make the compiler reload them after each byte.
bool TDeflate64Decoder::DecodeSymbols() {
    const THuffmanTable& literals = FFixedCodes ? FFixedLiteralTable : FLiteralTable;
    const THuffmanTable& distances = FFixedCodes ? FFixedDistanceTable : FDistanceTable;
    std::uint8_t* const history = FHistory.get();
    TBitReader reader = FReader;
    TMatch match = FMatch;
    std::size_t end = FEnd;
    bool blockEnded = false;
    for (;;) {
        if (match.left > 0) {
            end = CopyMatch(match, history, end);
            if (match.left > 0) break;
        }
        reader.Refill();
        if (match.distanceNext) {
            const THuffmanEntry& code = distances.Lookup(reader.bits);
            if (code.length > reader.count) break;
            if (code.kind == THuffmanEntry::NoCode) Damaged("ein Abstand hat keinen gültigen Code");
            const unsigned extraBits = kDistanceExtraBits[code.value];
            if (code.length + extraBits > reader.count) break;
            reader.Take(code.length);
            match.distance = kDistanceBase[code.value] + reader.Take(extraBits);
            if (match.distance > end) Damaged("ein Verweis reicht vor den Anfang der Daten zurück");
            match.left = match.length;
            match.distanceNext = false;
            continue;
        }
        if (end == kHistorySize) break;
        const THuffmanEntry& code = literals.Lookup(reader.bits);
        if (code.length > reader.count) break;
        if (code.kind == THuffmanEntry::NoCode) Damaged("ein Zeichen hat keinen gültigen Code");
        if (code.value < kEndOfBlock) {
            reader.Take(code.length);
            history[end++] = static_cast<std::uint8_t>(code.value);
            continue;
        }
        if (code.value == kEndOfBlock) {
            reader.Take(code.length);
            blockEnded = true;
            break;
        }
        if (code.value > kLastLengthSymbol) Damaged("ein Längencode ist nicht definiert");
        const unsigned index = code.value - kFirstLengthSymbol;
        if (code.length + kLengthExtraBits[index] > reader.count) break;
        reader.Take(code.length);
        match.length = kLengthBase[index] + reader.Take(kLengthExtraBits[index]);
        match.distanceNext = true;
    }
    FReader = reader;
    FMatch = match;
    FEnd = end;
    return blockEnded;
}

// Copies what fits of the match; its source may overlap the bytes it makes.
std::size_t TDeflate64Decoder::CopyMatch(TMatch& match, std::uint8_t* history, std::size_t end) {
    const std::size_t length = std::min<std::size_t>(match.left, kHistorySize - end);
    std::uint8_t* const to = history + end;
    const std::uint8_t* const from = to - match.distance;
    if (match.distance >= kCopyStep) {
        // Whole steps, each from bytes written before it; the last may run into the slack.
        for (std::size_t at = 0; at < length; at += kCopyStep) std::memcpy(to + at, from + at, kCopyStep);
    } else if (match.distance == 1) {
        std::memset(to, *from, length);
    } else {
        for (std::size_t at = 0; at < length; ++at) to[at] = from[at];
    }
    match.left -= static_cast<std::uint32_t>(length);
    return end + length;
}

}  // namespace

std::unique_ptr<TZipMethodDecoder> CreateDeflate64Decoder() { return std::make_unique<TDeflate64Decoder>(); }

}  // namespace tavik
