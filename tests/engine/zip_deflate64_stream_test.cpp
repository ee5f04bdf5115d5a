// The Deflate64 decoder on streams written symbol by symbol: what no compressor at hand writes
// (lengths beyond 258, matches across the whole window, codes of 15 bits) and damage of each
// kind, fed whole and in pieces down to one byte in and one byte out.
#include <functional>

#include "host/engine/zip/zip_method_decoder.h"
#include "host/services/exceptions.h"
#include "tests/engine/archiv_test_helpers.h"
#include "tests/engine/deflate64_writer.h"

namespace archivtest {
namespace {

struct TOutcome {
    std::string output;
    std::size_t used = 0;
    bool ended = false;
    std::string damage;  // the reason given for damaged data
};

// Feeds the stream as the engine does, in pieces of inPiece bytes with room for outPiece.
TOutcome Decode(const std::string& stream, std::size_t inPiece, std::size_t outPiece) {
    const auto decoder = tavik::CreateZipMethodDecoder(9, 0);
    const auto* data = reinterpret_cast<const std::uint8_t*>(stream.data());
    std::vector<std::uint8_t> out(outPiece);
    TOutcome outcome;
    try {
        while (!outcome.ended) {
            const std::size_t size = std::min(inPiece, stream.size() - outcome.used);
            std::size_t used = 0, made = 0;
            outcome.ended = decoder->Decode(data + outcome.used, size, outcome.used + size == stream.size(), out.data(),
                                            outPiece, used, made);
            outcome.used += used;
            outcome.output.append(reinterpret_cast<const char*>(out.data()), made);
            if (!outcome.ended && used == 0 && made == 0) break;  // the data stops short
        }
    } catch (const tavik::EOlvex& error) {
        EXPECT_EQ(error.Kind(), tavik::TErrorKind::DamagedArchive);
        outcome.damage = error.what();
    }
    return outcome;
}

enum class TExpect { Sound, Damaged, Short };

using TWrite = std::function<void(TDeflate64Writer&)>;

struct TCase {
    const char* name;
    TWrite write;
    TExpect expect;
    std::string reason;    // part of the damage reason
    std::string trailing;  // bytes after the stream, not to be taken
};

void PrintTo(const TCase& testCase, std::ostream* out) { *out << testCase.name; }

TCase Sound(const char* name, TWrite write, std::string trailing = {}) {
    return {name, std::move(write), TExpect::Sound, {}, std::move(trailing)};
}
TCase Damaged(const char* name, std::string reason, TWrite write) {
    return {name, std::move(write), TExpect::Damaged, std::move(reason), {}};
}
TCase Short(const char* name, TWrite write) { return {name, std::move(write), TExpect::Short, {}, {}}; }

void LongCodes(TDeflate64Writer& writer, bool final) {
    // 'A' to 'N' take 1 to 14 bits, 'O' and the end 15: the longest a code may be.
    std::vector<std::uint8_t> literals(257);
    for (int i = 0; i < 15; ++i) literals[static_cast<std::size_t>('A' + i)] = static_cast<std::uint8_t>(i + 1);
    literals['O'] = literals[256] = 15;
    writer.Dynamic(final, literals, {0});
}

std::vector<TCase> Cases() {
    using W = TDeflate64Writer&;
    return {
        Sound("StoredBlocks", [](W w) { w.Stored(false, "Hallo "); w.Stored(false, ""); w.Stored(true, "Welt"); }),
        Sound("FixedCodes", [](W w) {
            w.Fixed(true);
            for (const char c : std::string("Grüße")) w.Literal(static_cast<std::uint8_t>(c));
            w.Match(12, 7); w.Match(258, 1); w.Match(227, 3); w.End(); }),
        Sound("LengthsOf285", [](W w) {
            w.Fixed(true); w.Literal('x'); w.Match(65538, 1); w.Literal('y'); w.Match(259, 2); w.Match(40000, 3);
            w.End(); }),
        Sound("MatchesAcrossTheWholeWindow", [](W w) {
            w.Stored(false, Incompressible(65535, 1));
            w.Fixed(false); w.Literal('z'); w.End();
            w.Fixed(true);
            for (const std::uint32_t distance : {65536u, 65535u, 49153u, 49152u, 32769u, 65536u})
                w.Match(65538, distance);
            w.Match(3, 65536); w.End(); }),
        Sound("CodesOf15Bits", [](W w) {
            LongCodes(w, false);
            for (int round = 0; round < 3; ++round)
                for (char c = 'O'; c >= 'A'; --c) w.Literal(static_cast<std::uint8_t>(c));
            w.End();
            w.Stored(true, "!"); }),
        Sound("DataAfterTheEnd", [](W w) { w.Fixed(true); w.Literal('a'); w.End(); }, "PK\x01\x02 mehr"),
        Damaged("BlockType3", "Typ 3", [](W w) { w.Bits(7, 3); }),
        Damaged("StoredLengthWithoutComplement", "Gegenprobe", [](W w) { w.Bits(1, 8); w.Bits(5, 16); w.Bits(5, 16); }),
        Damaged("DistanceBeforeTheStart", "vor den Anfang", [](W w) {
            w.Fixed(true); w.Literal('a'); w.Match(3, 2); w.End(); }),
        Damaged("FarDistanceBeforeTheStart", "vor den Anfang", [](W w) {
            w.Stored(false, Incompressible(40000, 2)); w.Fixed(true); w.Match(10, 40001); w.End(); }),
        Damaged("LengthSymbol286", "Längencode", [](W w) {
            w.Fixed(true); w.Literal('a'); w.Symbol(286); w.Bits(0, 16); }),
        Damaged("TooManyLengthCodes", "mehr Längencodes", [](W w) { w.Bits(5, 3); w.Bits(30, 5); w.Bits(0, 9); }),
        Damaged("OverSubscribedCodeLengthCode", "Codes der Codelängen", [](W w) {
            w.Bits(5, 3); w.Bits(0, 10); w.Bits(15, 4);
            for (int i = 0; i < 19; ++i) w.Bits(1, 3); }),
        Damaged("IncompleteLiteralCode", "keinen gültigen Huffman-Code", [](W w) {
            std::vector<std::uint8_t> literals(257); literals['a'] = 1; literals[256] = 2;
            w.Dynamic(true, literals, {0}); }),
        Damaged("OverSubscribedLiteralCode", "keinen gültigen Huffman-Code", [](W w) {
            std::vector<std::uint8_t> literals(257); literals['a'] = literals['b'] = literals[256] = 1;
            w.Dynamic(true, literals, {0}); }),
        Damaged("NoCodeForTheEnd", "fehlt der Code für sein Ende", [](W w) {
            std::vector<std::uint8_t> literals(257); literals['a'] = literals['b'] = 1;
            w.Dynamic(true, literals, {0}); }),
        Damaged("RepeatWithoutPrevious", "wiederholt", [](W w) {
            w.DynamicHeader(true, 257, 1); w.LengthSymbol(16, 0, 2); }),
        Damaged("RepeatBeyondTheCodes", "über seine Codes hinaus", [](W w) {
            w.DynamicHeader(true, 257, 1); w.LengthSymbol(18, 127, 7); w.LengthSymbol(18, 127, 7); }),
        Damaged("DistanceWithoutCode", "Abstand hat keinen gültigen Code", [](W w) {
            std::vector<std::uint8_t> literals(258); literals['a'] = 1; literals[256] = literals[257] = 2;
            w.Dynamic(true, literals, {0}); w.Literal('a'); w.Symbol(257); w.End(); }),
        Damaged("SymbolWithoutCode", "Zeichen hat keinen gültigen Code", [](W w) {
            std::vector<std::uint8_t> literals(257); literals[256] = 1;
            w.Dynamic(true, literals, {0}); w.Bits(1, 1); }),
        Short("Empty", [](W) {}),
        Short("CutInAStoredBlock", [](W w) { w.Stored(true, "abgeschnitten"); w.stream.resize(10); }),
        Short("CutInACode", [](W w) { LongCodes(w, true); w.Literal('O'); w.stream.pop_back(); }),
        Short("WithoutFinalBlock", [](W w) { w.Fixed(false); w.Literal('a'); w.End(); }),
    };
}

class ZipDeflate64Stream : public ::testing::TestWithParam<TCase> {};

TEST_P(ZipDeflate64Stream, DecodesAlikeInPiecesOfAnySize) {
    TDeflate64Writer writer;
    GetParam().write(writer);
    const std::string stream = writer.stream + GetParam().trailing;
    for (const auto& [in, out] : std::vector<std::pair<std::size_t, std::size_t>>{
             {1 << 20, 1 << 20}, {1, 1}, {3, 70'000}, {1 << 20, 7}, {2, 65'537}}) {
        SCOPED_TRACE(std::to_string(in) + " in, " + std::to_string(out) + " out");
        const TOutcome outcome = Decode(stream, in, out);
        switch (GetParam().expect) {
            case TExpect::Sound:
                EXPECT_TRUE(outcome.ended);
                EXPECT_TRUE(outcome.output == writer.expected) << outcome.output.size() << " " << outcome.damage;
                EXPECT_EQ(outcome.used, writer.stream.size());
                break;
            case TExpect::Damaged:
                EXPECT_NE(outcome.damage.find(GetParam().reason), std::string::npos) << outcome.damage;
                EXPECT_NE(outcome.damage.find("beschädigt"), std::string::npos) << outcome.damage;
                break;
            case TExpect::Short:
                EXPECT_FALSE(outcome.ended);
                EXPECT_EQ(outcome.damage, "");
                EXPECT_EQ(outcome.output, writer.expected.substr(0, outcome.output.size()));
                break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, ZipDeflate64Stream, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace archivtest
