// Extraction reads the entries to come on another thread while it writes one. Whatever the
// order, the choice or the fate of the entries around them, each entry ends as it would read in
// turn: written with its bytes, or failed with its reason, and nothing else is left behind, also
// when the command is stopped midway.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;

struct TEntrySpec {
    std::string name;
    std::string content;
    bool stored;
};

// More data than is read ahead at once (many stored pieces), one entry too large to be read
// ahead, entries that fail between them, empty files and a directory.
std::vector<TEntrySpec> Entries() {
    std::vector<TEntrySpec> entries = {
        {"a/klein.txt", TextRecords(40), false},
        {"a/leer.txt", "", false},
        {"b/roh.bin", Incompressible(300'000, 1), true},
        {"b/gross.log", TextRecords(700'000), false},  // about 20 MB
        {"c/kaputt.bin", Incompressible(5'000, 2), true},
        {"../raus.txt", "draußen\n", false},
        {"c/danach.txt", TextRecords(10), false},
    };
    for (int i = 0; i < 120; ++i)
        entries.push_back({"viele/" + std::to_string(1000 + i) + ".bin", Incompressible(200'000, 100 + i), i % 3 == 0});
    entries.push_back({"z/letzte.txt", "ende\n", false});
    return entries;
}

bool Fails(const std::string& name) { return name == "c/kaputt.bin" || name == "../raus.txt"; }

// Builds the archive with Python's zipfile and spoils one byte of c/kaputt.bin's stored data.
void BuildArchive(const fs::path& dir, const std::vector<TEntrySpec>& entries) {
    std::vector<std::string> args = {(dir / "a.zip").string()};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const fs::path source = dir / "quelle" / std::to_string(i);
        testsupport::WriteFile(source, entries[i].content);
        args.push_back(entries[i].name + "\n" + source.string() + "\n" + (entries[i].stored ? "0" : "8"));
    }
    Python(R"(
import sys, zipfile
path = sys.argv[1]
with zipfile.ZipFile(path, "w") as archive:
    archive.writestr(zipfile.ZipInfo("b/"), b"")
    for spec in sys.argv[2:]:
        name, source, method = spec.split("\n")
        info = zipfile.ZipInfo(name, (2026, 12, 1, 8, 0, 0))
        info.compress_type = int(method)
        archive.writestr(info, open(source, "rb").read())
with zipfile.ZipFile(path) as archive:
    info = archive.getinfo("c/kaputt.bin")
    data = bytearray(open(path, "rb").read())
    name_length = int.from_bytes(data[info.header_offset + 26:info.header_offset + 28], "little")
    extra_length = int.from_bytes(data[info.header_offset + 28:info.header_offset + 30], "little")
    start = info.header_offset + 30 + name_length + extra_length
data[start + 100] ^= 0x55
open(path, "wb").write(bytes(data))
)",
           args);
}

struct TReadAheadCase {
    const char* name;
    std::vector<int> order;  // entries chosen, in this order; empty: all (index 0 is "b/")
    int skipEvery = 0;       // the engine is told to skip every n-th entry it starts
    int abortAt = 0;         // the command is stopped as the n-th entry starts
};

std::vector<TReadAheadCase> Cases() {
    return {
        {"Alle", {}},
        {"AuswahlDurcheinander", {100, 2, 4, 20, 5, 19, 127, 1, 60, 3}},
        {"JedenDrittenUebersprungen", {}, 3},
        {"AuswahlUndUebersprungen", {127, 60, 5, 61, 62, 4, 63, 2}, 2},
        {"Abgebrochen", {}, 0, 40},
    };
}

class ExtractReadAhead : public ::testing::TestWithParam<TReadAheadCase> {
protected:
    testsupport::TempDir dir;
};

TEST_P(ExtractReadAhead, EveryEntryEndsAsReadInTurn) {
    const TReadAheadCase& c = GetParam();
    const std::vector<TEntrySpec> entries = Entries();
    BuildArchive(dir.path(), entries);

    // Archive index i + 1 is entries[i]; index 0 is the directory.
    std::vector<int> order = c.order;
    if (order.empty())
        for (int i = 0; i <= static_cast<int>(entries.size()); ++i) order.push_back(i);

    auto engine = Engine(TArchivFormat::Zip, (dir / "a.zip").string());
    engine->ExtractDir = (dir / "ziel").string();
    std::vector<std::string> failed;
    engine->OnError = [&failed](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind,
                                const std::string& item, const std::string& reason, bool& skip) {
        failed.push_back(item + ": " + reason);
        skip = true;
    };
    // Every chosen entry is started once, in the order chosen.
    const auto skips = [&c](int start) { return c.skipEvery != 0 && start % c.skipEvery == 0; };
    int started = 0;
    engine->OnCommandItemStart = [&](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand,
                                     tavik::PFileInfoItem&) {
        if (++started == c.abortAt) sender.Abort();
        return !skips(started);
    };
    const bool ok = c.order.empty() ? engine->ExecuteArchivExtract() : engine->ExecuteArchivExtract(order);

    TTree expected;
    std::vector<std::string> expectedFailures;
    int start = 0;
    for (const int index : order) {
        if (++start == c.abortAt) break;
        if (skips(start) || index == 0) continue;
        const TEntrySpec& entry = entries[static_cast<std::size_t>(index - 1)];
        if (Fails(entry.name))
            expectedFailures.push_back(entry.name);
        else
            expected[entry.name] = entry.content;
    }
    EXPECT_EQ(ok, expectedFailures.empty() && c.abortAt == 0) << engine->LastError();
    EXPECT_EQ(engine->LastAborted(), c.abortAt != 0);
    // Exactly these files, with their bytes: no temporary file and nothing of a failed entry.
    const TTree written = ReadTree(dir / "ziel");
    EXPECT_EQ(written.size(), expected.size());
    for (const auto& [name, content] : expected) {
        const auto found = written.find(name);
        ASSERT_NE(found, written.end()) << name;
        EXPECT_TRUE(found->second == content) << name;
    }
    EXPECT_FALSE(fs::exists(dir / "raus.txt"));
    ASSERT_EQ(failed.size(), expectedFailures.size());
    for (std::size_t i = 0; i < failed.size(); ++i)
        EXPECT_EQ(failed[i].rfind(expectedFailures[i] + ": ", 0), 0u) << failed[i];
    for (const std::string& failure : failed) {
        if (failure.rfind("c/kaputt.bin", 0) == 0) {
            EXPECT_NE(failure.find("CRC"), std::string::npos) << failure;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractReadAhead, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TReadAheadCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace archivtest
