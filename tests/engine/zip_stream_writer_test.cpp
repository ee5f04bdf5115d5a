// The writer of new archives, case by case: what it writes must read back in Info-ZIP, 7-Zip and
// Python's zipfile exactly as it was given, with every fingerprint and the seal in place, also
// where entries were taken back half-way, where Zip64 is needed, and for names and times at the
// edges of what the headers hold.
#include <fcntl.h>
#include <zlib.h>

#include <random>

#include "host/engine/pack/deflate_piece.h"
#include "host/engine/pack/packed_check.h"
#include "host/engine/pack/zip_stream_writer.h"
#include "host/engine/zip/zip_fingerprint.h"
#include "host/services/sha256.h"
#include "host/services/unique_fd.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

struct TStep {
    std::string name;
    std::string content;
    bool drop = false;   // taken back after its data was written
    bool large = false;  // Zip64 sizes in the local header
    std::time_t mtime = 1'700'000'000;
};

struct TWriterCase {
    std::string title;
    std::vector<TStep> steps;
};

std::string Noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    return bytes;
}

std::vector<TStep> ManySmall(std::size_t count) {
    std::vector<TStep> steps;
    for (std::size_t i = 0; i < count; ++i) steps.push_back({"viele/f" + std::to_string(i), std::to_string(i)});
    return steps;
}

std::vector<TWriterCase> Cases() {
    const std::string text = TextRecords(300);
    const std::string big = Noise(3 << 20, 7);  // beyond the writer's buffer
    return {
        {"Verzeichnis, Text, leere Datei", {{"d/", ""}, {"d/a.txt", text}, {"d/leer", ""}}},
        {"im Puffer zurückgenommen", {{"a.txt", text}, {"b.txt", text + "b", true}, {"c.txt", "c"}}},
        {"nach dem Schreiben in die Datei zurückgenommen", {{"a.txt", text}, {"gross.bin", big, true}, {"c.txt", text}}},
        {"am Ende zurückgenommen", {{"a.txt", text}, {"gross.bin", big, true}}},
        {"groß genug für ZIP64 angelegt", {{"a.txt", text, false, true}, {"gross.bin", big, false, true}}},
        {"Namen", {{"grüße.txt", text}, {"\xE4rger.txt", "kein UTF-8"}, {"mit leer zeichen.txt", "x"}}},
        {"Zeiten an den Rändern",
         {{"1970.txt", "a", false, false, 0}, {"2200.txt", "b", false, false, 7'258'118'400}, {"vor1901.txt", "c", false, false, -3'000'000'000}}},
        {"mehr als 65535 Einträge", ManySmall(70'000)},
    };
}

// Writes the case's steps, deflating what is not empty, and seals the archive.
void WriteCase(const std::string& path, const TWriterCase& test) {
    const tavik::TUniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    ASSERT_TRUE(fd);
    tavik::TZipStreamWriter writer(fd.Get(), path);
    tavik::TPieceDeflater deflater(4);
    std::vector<std::uint8_t> deflated;
    for (const TStep& step : test.steps) {
        const bool directory = step.name.ends_with('/');
        writer.Begin({.name = step.name,
                      .directory = directory,
                      .deflated = !step.content.empty(),
                      .large = step.large,
                      .mtime = step.mtime,
                      .mode = static_cast<mode_t>(directory ? S_IFDIR | 0755 : S_IFREG | 0644)});
        const auto* data = reinterpret_cast<const std::uint8_t*>(step.content.data());
        if (!step.content.empty()) {
            deflater.Deflate(data, step.content.size(), true, deflated);
            writer.Data(deflated.data(), deflated.size());
        }
        if (step.drop) {
            writer.Drop();
            continue;
        }
        const auto crc = static_cast<std::uint32_t>(crc32(0, data, static_cast<uInt>(step.content.size())));
        writer.End(crc, step.content.size(),
                   directory ? std::nullopt : std::optional(tavik::Sha256Of(data, step.content.size())));
    }
    const std::uint64_t entries = writer.Entries();
    writer.Finish(tavik::zip::SealComment({.entries = entries, .digest = writer.SealDigest(), .journal = {}}));
}

// Names in order and contents as Python's zipfile reads them, with the UTF-8 flag where a name
// is UTF-8 beyond ASCII.
constexpr const char* kPythonCheck = R"(
import sys, zipfile
archive, expected_path = sys.argv[1], sys.argv[2]
expected = []
with open(expected_path, 'rb') as f:
    for line in f.read().split(b'\n'):
        if line:
            name, content = line.split(b'\t')
            expected.append((name, bytes.fromhex(content.decode())))
z = zipfile.ZipFile(archive)
infos = z.infolist()
names = [i.filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437') for i in infos]
if names != [n for n, _ in expected]:
    sys.exit('names differ: %r' % names[:10])
for info, (name, content) in zip(infos, expected):
    if z.read(info) != content:
        sys.exit('content of %r differs' % name)
    utf8 = not name.isascii()
    try:
        name.decode('utf-8')
    except UnicodeDecodeError:
        utf8 = False
    if bool(info.flag_bits & 0x800) != utf8:
        sys.exit('flag of %r' % name)
)";

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += digits[static_cast<unsigned char>(c) >> 4];
        hex += digits[static_cast<unsigned char>(c) & 15];
    }
    return hex;
}

TEST(ZipStreamWriter, WhatIsWrittenReadsBackInEveryReader) {
    for (const TWriterCase& test : Cases()) {
        SCOPED_TRACE(test.title);
        testsupport::TempDir dir;
        const std::string archive = (dir / "neu.zip").string();
        WriteCase(archive, test);
        std::string expected;
        int files = 0;
        for (const TStep& step : test.steps) {
            if (step.drop) continue;
            expected += step.name + "\t" + Hex(step.content) + "\n";
            files += step.name.ends_with('/') ? 0 : 1;
        }
        testsupport::WriteFile(dir / "erwartet.txt", expected);

        const auto unzip = Tool({"unzip", "-tq", archive});
        EXPECT_EQ(unzip.status, 0) << unzip.out << unzip.err;
        const auto sevenZip = Tool({"7zz", "t", archive});
        EXPECT_EQ(sevenZip.status, 0) << sevenZip.out << sevenZip.err;
        Python(kPythonCheck, {archive, (dir / "erwartet.txt").string()});
        const tavik::TContentCheck check = tavik::CheckArchiveContent(archive);
        EXPECT_EQ(check.Failure, "");
        EXPECT_EQ(check.BySha256, files);
        EXPECT_EQ(check.ByCrcOnly, 0);
        EXPECT_TRUE(check.Sealed);
    }
}

TEST(ZipStreamWriter, TimesBeyondTheDosRangeKeepTheirExactValue) {
    testsupport::TempDir dir;
    const std::string archive = (dir / "zeiten.zip").string();
    const TWriterCase test = Cases()[6];
    WriteCase(archive, test);
    auto engine = Engine(tavik::TArchivFormat::Zip, archive);
    ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    ASSERT_EQ(static_cast<std::size_t>(engine->GetArchivItemsCount()), test.steps.size());
    for (std::size_t i = 0; i < test.steps.size(); ++i)
        EXPECT_EQ(tavik::DateTimeToFileTime(engine->GetArchivItem(static_cast<int>(i)).DateTime), test.steps[i].mtime)
            << test.steps[i].name;
}

}  // namespace
}  // namespace archivtest
