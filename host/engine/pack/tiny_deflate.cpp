#include "host/engine/pack/tiny_deflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <stdexcept>

#include "host/engine/pack/bit_writer.h"
#include "host/engine/pack/deflate_symbols.h"
#include "host/engine/pack/huffman_lengths.h"
#include "host/engine/pack/tiny_matches.h"

namespace tavik {

namespace {

namespace ds = deflatesymbols;

static_assert(kTinyDeflateLargest <= kTinyMatchesLargest);

constexpr std::uint32_t kLongestCode = 15;
constexpr std::uint32_t kLongestCodeLengthCode = 7;
constexpr std::uint32_t kCodeLengthSymbols = 19;
// The order in which a dynamic block's header gives the code length code's lengths.
constexpr std::array<std::uint8_t, kCodeLengthSymbols> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                            11, 4,  12, 3, 13, 2, 14, 1, 15};

// Fitting codes to a piece goes over all 286 symbols several times and costs about three times
// what the rest does for a hundred bytes; below this size (files of a line or two) it saves
// little: 40,000 CSV files of 60 to 160 bytes packed 0.9 % larger than with codes fitted to
// every piece.
constexpr std::size_t kDynamicFrom = 128;

struct TCodes {
    std::array<std::uint16_t, ds::kLiteralLengthSymbols> Literal{};
    std::array<std::uint8_t, ds::kLiteralLengthSymbols> LiteralLength{};
    std::array<std::uint16_t, ds::kDistanceSymbols> Distance{};
    std::array<std::uint8_t, ds::kDistanceSymbols> DistanceLength{};
};

constexpr TCodes MakeFixedCodes() {
    TCodes codes;
    for (std::uint32_t symbol = 0; symbol < ds::kLiteralLengthSymbols; ++symbol) {
        codes.Literal[symbol] = static_cast<std::uint16_t>(ds::FixedCode(symbol));
        codes.LiteralLength[symbol] = static_cast<std::uint8_t>(ds::FixedLength(symbol));
    }
    for (std::uint32_t code = 0; code < ds::kDistanceSymbols; ++code) {
        codes.Distance[code] = static_cast<std::uint16_t>(ds::Reversed(code, 5));
        codes.DistanceLength[code] = 5;
    }
    return codes;
}

constexpr TCodes kFixedCodes = MakeFixedCodes();

// Bits the block takes with the fixed codes, without its header.
std::uint32_t FixedBits(std::span<const TLzToken> tokens) {
    std::uint32_t bits = kFixedCodes.LiteralLength[ds::kEndOfBlock];
    for (const TLzToken& token : tokens) {
        if (token.Length == 0) {
            bits += kFixedCodes.LiteralLength[token.Value];
            continue;
        }
        const std::uint32_t length = ds::LengthCode(token.Length);
        const std::uint32_t distance = ds::DistanceCode(token.Value);
        bits += kFixedCodes.LiteralLength[ds::kFirstLengthSymbol + length] + ds::kLengthExtra[length] + 5 +
                ds::kDistanceExtra[distance];
    }
    return bits;
}

struct TCounts {
    std::array<std::uint32_t, ds::kLiteralLengthSymbols> Literal{};
    std::array<std::uint32_t, ds::kDistanceSymbols> Distance{};
    std::uint32_t ExtraBits = 0;  // of lengths and distances, the same with any codes
};

TCounts CountSymbols(std::span<const TLzToken> tokens) {
    TCounts counts;
    for (const TLzToken& token : tokens) {
        if (token.Length == 0) {
            ++counts.Literal[token.Value];
            continue;
        }
        const std::uint32_t length = ds::LengthCode(token.Length);
        const std::uint32_t distance = ds::DistanceCode(token.Value);
        ++counts.Literal[ds::kFirstLengthSymbol + length];
        ++counts.Distance[distance];
        counts.ExtraBits += ds::kLengthExtra[length] + ds::kDistanceExtra[distance];
    }
    counts.Literal[ds::kEndOfBlock] = 1;
    return counts;
}

struct TCodeLengthSymbol {
    std::uint8_t Symbol;
    std::uint8_t Extra;
};

// The header of a dynamic block and the codes it describes.
struct TDynamicHeader {
    TCodes Codes;
    std::uint32_t LiteralCount = 0;   // HLIT + 257
    std::uint32_t DistanceCount = 0;  // HDIST + 1
    std::uint32_t OrderCount = 0;     // HCLEN + 4
    std::array<std::uint8_t, kCodeLengthSymbols> CodeLengthLength{};
    std::array<std::uint16_t, kCodeLengthSymbols> CodeLengthCode{};
    std::array<TCodeLengthSymbol, ds::kLiteralLengthSymbols + ds::kDistanceSymbols> Sequence;
    std::size_t SequenceSize = 0;
    std::uint32_t Bits = 0;  // of the header and the symbols, without extra bits
};

constexpr std::uint32_t RepeatExtraBits(std::uint32_t symbol) { return symbol == 16 ? 2 : symbol == 17 ? 3 : 7; }

// The code lengths of both codes as one sequence of lengths and repeats: 16 repeats the length
// before 3–6 times, 17 gives 3–10 zeros and 18 11–138.
void EncodeLengths(std::span<const std::uint8_t> lengths, TDynamicHeader& header) {
    const auto add = [&header](std::uint32_t symbol, std::size_t extra) {
        header.Sequence[header.SequenceSize++] = {static_cast<std::uint8_t>(symbol), static_cast<std::uint8_t>(extra)};
    };
    std::size_t at = 0;
    while (at < lengths.size()) {
        const std::uint8_t length = lengths[at];
        std::size_t run = 1;
        while (at + run < lengths.size() && lengths[at + run] == length) ++run;
        at += run;
        if (length == 0) {
            for (std::size_t part; run >= 11; run -= part) {
                part = std::min<std::size_t>(run, 138);
                add(18, part - 11);
            }
            if (run >= 3) {
                add(17, run - 3);
                run = 0;
            }
        } else {
            add(length, 0);
            --run;
            for (std::size_t part; run >= 3; run -= part) {
                part = std::min<std::size_t>(run, 6);
                add(16, part - 3);
            }
        }
        for (; run > 0; --run) add(length, 0);
    }
}

// Code lengths fitted to counts and the header that gives them; the codes themselves are
// made by MakeDynamicCodes, once the block is known to be dynamic.
void MakeDynamicHeader(const TCounts& counts, TDynamicHeader& header) {
    TCodes& codes = header.Codes;
    header.Bits = LimitedHuffmanLengths(counts.Literal, kLongestCode, codes.LiteralLength) +
                  LimitedHuffmanLengths(counts.Distance, kLongestCode, codes.DistanceLength);

    header.LiteralCount = ds::kLiteralLengthSymbols;
    while (codes.LiteralLength[header.LiteralCount - 1] == 0) --header.LiteralCount;
    header.DistanceCount = ds::kDistanceSymbols;
    while (codes.DistanceLength[header.DistanceCount - 1] == 0) --header.DistanceCount;
    std::array<std::uint8_t, ds::kLiteralLengthSymbols + ds::kDistanceSymbols> lengths;
    std::copy_n(codes.LiteralLength.begin(), header.LiteralCount, lengths.begin());
    std::copy_n(codes.DistanceLength.begin(), header.DistanceCount, lengths.begin() + header.LiteralCount);
    EncodeLengths(std::span(lengths.data(), header.LiteralCount + header.DistanceCount), header);

    std::array<std::uint32_t, kCodeLengthSymbols> codeLengthCounts{};
    std::uint32_t repeatBits = 0;
    for (std::size_t i = 0; i < header.SequenceSize; ++i) {
        const std::uint32_t symbol = header.Sequence[i].Symbol;
        ++codeLengthCounts[symbol];
        if (symbol >= 16) repeatBits += RepeatExtraBits(symbol);
    }
    header.OrderCount = kCodeLengthSymbols;
    header.Bits += LimitedHuffmanLengths(codeLengthCounts, kLongestCodeLengthCode, header.CodeLengthLength);
    while (header.OrderCount > 4 && header.CodeLengthLength[kCodeLengthOrder[header.OrderCount - 1]] == 0)
        --header.OrderCount;
    header.Bits += 5 + 5 + 4 + 3 * header.OrderCount + repeatBits;
}

void MakeDynamicCodes(TDynamicHeader& header) {
    CanonicalCodes(header.Codes.LiteralLength, header.Codes.Literal);
    CanonicalCodes(header.Codes.DistanceLength, header.Codes.Distance);
    CanonicalCodes(header.CodeLengthLength, header.CodeLengthCode);
}

void PutDynamicHeader(const TDynamicHeader& header, TBitWriter& bits) {
    bits.Put(header.LiteralCount - ds::kFirstLengthSymbol, 5);
    bits.Put(header.DistanceCount - 1, 5);
    bits.Put(header.OrderCount - 4, 4);
    bits.Flush();
    for (std::uint32_t i = 0; i < header.OrderCount; ++i) {
        bits.Put(header.CodeLengthLength[kCodeLengthOrder[i]], 3);
        bits.Flush();
    }
    for (std::size_t i = 0; i < header.SequenceSize; ++i) {
        const TCodeLengthSymbol item = header.Sequence[i];
        bits.Put(header.CodeLengthCode[item.Symbol], header.CodeLengthLength[item.Symbol]);
        if (item.Symbol >= 16) bits.Put(item.Extra, RepeatExtraBits(item.Symbol));
        bits.Flush();
    }
}

void PutTokens(std::span<const TLzToken> tokens, const TCodes& codes, TBitWriter& bits) {
    for (const TLzToken& token : tokens) {
        if (token.Length == 0) {
            bits.Put(codes.Literal[token.Value], codes.LiteralLength[token.Value]);
        } else {
            const std::uint32_t length = ds::LengthCode(token.Length);
            const std::uint32_t symbol = ds::kFirstLengthSymbol + length;
            bits.Put(codes.Literal[symbol], codes.LiteralLength[symbol]);
            bits.Put(token.Length - ds::kLengthBase[length], ds::kLengthExtra[length]);
            const std::uint32_t distance = ds::DistanceCode(token.Value);
            bits.Put(codes.Distance[distance], codes.DistanceLength[distance]);
            bits.Put(token.Value - ds::kDistanceBase[distance], ds::kDistanceExtra[distance]);
        }
        bits.Flush();
    }
    bits.Put(codes.Literal[ds::kEndOfBlock], codes.LiteralLength[ds::kEndOfBlock]);
}

// Bytes a compressed block of blockBits takes, with what lets the stream go on when not last:
// an empty stored block (header bits 000, padding, LEN 0, NLEN 0xFFFF).
constexpr std::size_t StreamBytes(std::size_t blockBits, bool last) {
    return last ? (blockBits + 7) / 8 : (blockBits + 3 + 7) / 8 + 4;
}

void AppendStored(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out) {
    const std::uint8_t header[] = {static_cast<std::uint8_t>(last ? 1 : 0), static_cast<std::uint8_t>(size),
                                   static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(~size),
                                   static_cast<std::uint8_t>(~size >> 8)};
    out.insert(out.end(), std::begin(header), std::end(header));
    out.insert(out.end(), data, data + size);
}

// Appends the block of blockBits (header included), with the dynamic codes or, without them,
// the fixed ones; or the piece stored, when that is smaller.
void AppendBlock(std::span<const std::uint8_t> piece, std::span<const TLzToken> tokens, std::uint32_t blockBits,
                 TDynamicHeader* dynamic, bool last, std::vector<std::uint8_t>& out) {
    const std::size_t bytes = StreamBytes(blockBits, last);
    if (bytes > piece.size() + 5) {
        AppendStored(piece.data(), piece.size(), last, out);
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + bytes + 8);  // the bit writer stores eight bytes at a time
    TBitWriter bits(out.data() + start);
    bits.Put(last ? 1 : 0, 1);
    bits.Put(dynamic ? 2 : 1, 2);  // BTYPE 10 dynamic, 01 fixed codes
    if (dynamic) {
        MakeDynamicCodes(*dynamic);
        PutDynamicHeader(*dynamic, bits);
    }
    PutTokens(tokens, dynamic ? dynamic->Codes : kFixedCodes, bits);
    if (!last) bits.Put(0, 3);
    std::uint8_t* end = bits.Finish();
    if (!last) {
        const std::uint8_t emptyStored[] = {0x00, 0x00, 0xFF, 0xFF};
        std::memcpy(end, emptyStored, sizeof emptyStored);
        end += sizeof emptyStored;
    }
    out.resize(static_cast<std::size_t>(end - out.data()));
}

}  // namespace

void DeflateTiny(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out) {
    if (size > kTinyDeflateLargest) throw std::length_error("piece too large for DeflateTiny");
    const std::span piece(data, size);
    std::array<TLzToken, kTinyDeflateLargest> tokenRoom;
    const std::span<const TLzToken> tokens(tokenRoom.data(), FindTinyMatches(piece, std::span(tokenRoom.data(), size)));
    const std::uint32_t fixedBits = 3 + FixedBits(tokens);
    if (size >= kDynamicFrom) {
        const TCounts counts = CountSymbols(tokens);
        TDynamicHeader dynamic;
        MakeDynamicHeader(counts, dynamic);
        const std::uint32_t dynamicBits = 3 + dynamic.Bits + counts.ExtraBits;
        if (dynamicBits < fixedBits) {
            AppendBlock(piece, tokens, dynamicBits, &dynamic, last, out);
            return;
        }
    }
    AppendBlock(piece, tokens, fixedBits, nullptr, last, out);
}

}  // namespace tavik
