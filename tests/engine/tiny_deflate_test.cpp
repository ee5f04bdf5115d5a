// Deflating small pieces by hand: every piece inflates with zlib to itself, alone or joined with
// others into one stream, is never larger than stored, and small text comes out about as small
// as zlib makes it.
#include <zlib.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/engine/pack/tiny_deflate.h"
#include "tests/engine/archiv_test_helpers.h"
#include "tests/engine/raw_inflate.h"

namespace archivtest {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Deflated(const std::string& data, bool last) {
    Bytes out;
    tavik::DeflateTiny(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), last, out);
    return out;
}

// zlib as it was set up for small pieces: level 6, a window of 1 KB, little memory.
std::size_t ZlibSize(const std::string& data) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -10, 2, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    const std::size_t size = out.size() - z.avail_out;
    deflateEnd(&z);
    return size;
}

std::string Repeated(const std::string& pattern, std::size_t size) {
    std::string text;
    while (text.size() < size) text += pattern;
    text.resize(size);
    return text;
}

std::string EveryByte(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i & 0xFF);
    return bytes;
}

TEST(TinyDeflate, EachPieceInflatesToItselfAloneAndBeforeMore) {
    const std::string text = TextRecords(80);
    const struct {
        const char* Name;
        std::string Data;
        std::size_t MostBytes;  // as the final block
    } cases[] = {
        {"nothing", "", 2},
        {"one byte", "x", 3},
        {"two bytes", "ab", 4},
        {"three equal bytes", "aaa", 5},
        {"258 equal bytes: one literal, one match", std::string(258, 'a'), 6},
        {"300 equal bytes: longest match and more", std::string(300, 'a'), 8},
        {"512 equal bytes", std::string(512, 'a'), 10},
        {"period of 7", Repeated("abcdefg", 400), 14},
        {"every byte value once: stored", EveryByte(256), 256 + 5},
        {"every byte value twice", EveryByte(512), 300},
        {"random bytes: stored", Incompressible(500, 11), 500 + 5},
        {"random bytes after text", text.substr(0, 200) + Incompressible(300, 12), 500},
        {"text of 100 bytes", text.substr(0, 100), 60},
        {"text of 500 bytes", text.substr(0, 500), 150},
        {"text of the largest size", text.substr(0, tavik::kTinyDeflateLargest), 280},
        {"xml", "<beleg nr=\"4711\"><kunde>Erika Mustermann</kunde><betrag waehrung=\"EUR\">129.90</betrag>"
                "<betrag waehrung=\"EUR\">17.00</betrag></beleg>\n",
         110},
    };
    const Bytes end = Deflated("", true);
    for (const auto& piece : cases) {
        SCOPED_TRACE(piece.Name);
        const Bytes alone = Deflated(piece.Data, true);
        EXPECT_EQ(Inflate(alone), piece.Data);
        EXPECT_LE(alone.size(), piece.MostBytes);
        EXPECT_LE(alone.size(), piece.Data.size() + 5);  // never more than stored
        Bytes going = Deflated(piece.Data, false);
        EXPECT_LE(going.size(), piece.Data.size() + 5);
        going.insert(going.end(), end.begin(), end.end());
        EXPECT_EQ(Inflate(going), piece.Data);
    }
}

TEST(TinyDeflate, PiecesJoinIntoOneStream) {
    const std::string text = TextRecords(80);
    const std::string pieces[] = {"Kopf\n", Incompressible(300, 5), std::string(512, '='), text.substr(0, 300), "x",
                                  "", EveryByte(256), text.substr(300, tavik::kTinyDeflateLargest)};
    Bytes joined;
    std::string whole;
    for (std::size_t i = 0; i < std::size(pieces); ++i) {
        const Bytes piece = Deflated(pieces[i], i + 1 == std::size(pieces));
        joined.insert(joined.end(), piece.begin(), piece.end());
        whole += pieces[i];
    }
    EXPECT_EQ(Inflate(joined), whole);
}

TEST(TinyDeflate, APieceLargerThanItTakesIsRefused) {
    const std::string large(tavik::kTinyDeflateLargest + 1, 'a');
    EXPECT_THROW(Deflated(large, true), std::length_error);
}

// Random pieces from small alphabets, with copies of what came before, so that matches of
// every length and distance occur.
TEST(TinyDeflate, RandomPiecesOfSmallAlphabetsInflateToThemselves) {
    std::mt19937 random(20240611);
    const unsigned alphabets[] = {1, 2, 3, 4, 8, 16, 64, 256};
    for (int round = 0; round < 3000; ++round) {
        const unsigned alphabet = alphabets[random() % std::size(alphabets)];
        const std::size_t size = 1 + random() % tavik::kTinyDeflateLargest;
        std::string data;
        while (data.size() < size) {
            if (!data.empty() && random() % 4 == 0) {
                const std::size_t from = random() % data.size();
                const std::size_t length = std::min<std::size_t>(1 + random() % 300, size - data.size());
                for (std::size_t i = 0; i < length; ++i) data += data[from + i];  // may overlap itself
            } else {
                data += static_cast<char>('A' + random() % alphabet);
            }
        }
        const bool last = round % 5 != 0;
        Bytes stream = Deflated(data, last);
        ASSERT_LE(stream.size(), data.size() + 5) << "round " << round;
        if (!last) {
            const Bytes end = Deflated("", true);
            stream.insert(stream.end(), end.begin(), end.end());
        }
        ASSERT_EQ(Inflate(stream), data) << "round " << round;
    }
}

TEST(TinyDeflate, SmallTextComesOutAboutAsSmallAsWithZlib) {
    const std::string samples[] = {
        "4711;Mustermann;Erika;Hauptstrasse 12;50667;Koeln;2024-03-01;129,90;EUR;bezahlt\n",
        "2023-11-14T08:15:02Z;INFO;auftrag-dienst;Auftrag 88213 angelegt von benutzer=kmeier ip=10.2.4.17\n",
        "id,name,email,created\n17,Anna Berg,anna.berg@example.de,2022-01-09\n18,Jonas Wolf,jonas.wolf@example.de\n",
        "Sehr geehrte Damen und Herren,\nanbei erhalten Sie die Unterlagen zu unserem Gespraech vom Dienstag.\n",
        "<config>\n  <entry key=\"host\">db01</entry>\n  <entry key=\"port\">5432</entry>\n</config>\n",
        "[Allgemein]\nSprache=de\nPfad=C:\\Daten\\Archiv\nIntervall=24\n[Netz]\nServer=archiv.intern\n",
        std::string(120, '-') + "\n" + std::string(40, ' ') + "Summe\n",
        TextRecords(12),
        TextRecords(25),
    };
    std::size_t ours = 0, zlib = 0;
    for (const std::string& sample : samples) {
        ours += Deflated(sample, true).size();
        zlib += ZlibSize(sample);
    }
    EXPECT_LE(ours, zlib + zlib / 20);
}

}  // namespace
}  // namespace archivtest
