// Searching every archive of a directory: real archives of zip, 7zz and Python, split sets,
// damaged and hostile archives, and what the listing says about the same entries.
#include <cstdio>
#include <set>
#include <stdexcept>
#include <sstream>

#include "host/engine/search/archive_search.h"
#include "host/engine/search/archive_search_match.h"
#include "host/services/exceptions.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::search::SearchArchives;
using tavik::search::TNameMatcher;
using tavik::search::TSearchEvents;
using tavik::search::TSearchHit;
using tavik::search::TSearchResult;

struct THitLine {
    std::string archive;  // file name only
    std::uint64_t number;
    std::uint64_t size;
    std::string when;
    std::string name;
    bool operator==(const THitLine&) const = default;
};

struct TOutcome {
    TSearchResult result;
    std::vector<THitLine> hits;
    std::vector<std::pair<std::string, std::string>> failures;  // archive file name, reason

    std::vector<std::string> Names(const std::string& archive) const {
        std::vector<std::string> names;
        for (const THitLine& hit : hits)
            if (hit.archive == archive) names.push_back(hit.name);
        return names;
    }
    std::vector<std::string> Archives() const {
        std::vector<std::string> archives;
        for (const THitLine& hit : hits)
            if (archives.empty() || archives.back() != hit.archive) archives.push_back(hit.archive);
        return archives;
    }
};

TOutcome Search(const fs::path& dir, const std::vector<std::string>& terms, unsigned threads = 0) {
    TOutcome outcome;
    TSearchEvents events;
    events.OnHit = [&](const TSearchHit& hit) {
        char when[32];
        std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", hit.modified.Year, hit.modified.Month,
                      hit.modified.Day, hit.modified.Hour, hit.modified.Minute, hit.modified.Second);
        outcome.hits.push_back({fs::path(hit.archive).filename().string(), hit.number, hit.size, when,
                                std::string(hit.name)});
    };
    events.OnFailure = [&](const std::string& archive, const std::string& reason) {
        outcome.failures.emplace_back(fs::path(archive).filename().string(), reason);
    };
    outcome.result = SearchArchives(dir.string(), terms, events, threads);
    return outcome;
}

// The listing's line of entry number in archive: NR, GRÖSSE, date and time, NAME.
std::string ListedLine(const fs::path& archive, std::uint64_t number) {
    const auto list = Tool({Cli(), "list", archive.string()});
    EXPECT_EQ(list.status, 0) << list.err;
    std::istringstream lines(list.out);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(std::to_string(number) + "\t", 0) == 0) return line;
    return "(entry " + std::to_string(number) + " not listed)";
}

std::string AsListed(const THitLine& hit) {
    return std::to_string(hit.number) + "\t" + std::to_string(hit.size) + "\t" + hit.when + "\t" + hit.name;
}

void Make(const std::vector<std::string>& argv, const fs::path& workDir) {
    const auto result = Tool(argv, workDir.string());
    ASSERT_EQ(result.status, 0) << argv[0] << ": " << result.err << result.out;
}

// Writes a ZIP by hand: name bytes as given, optional UTF-8 flag and extended timestamp.
const char* const kHandMade = R"(
import struct, sys, zlib
out, kind = sys.argv[1], sys.argv[2]
def archive(entries):
    data, central = b'', b''
    for name, content, flags, dos_time, dos_date, unix in entries:
        extra = struct.pack('<HHBI', 0x5455, 5, 1, unix) if unix is not None else b''
        crc = zlib.crc32(content)
        local = struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, flags, 0, dos_time, dos_date, crc, len(content),
                            len(content), len(name), len(extra)) + name + extra
        central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, flags, 0, dos_time, dos_date, crc,
                               len(content), len(content), len(name), len(extra), 0, 0, 0, 0, len(data)) + name + extra
        data += local + content
    return data, central
def end(count, central_size, central_offset):
    return struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, count, count, central_size, central_offset, 0)
noon = (12 << 11) | (30 << 5) | 5  # 12:30:10
march = ((2025 - 1980) << 9) | (3 << 5) | 14
if kind == 'names':
    data, central = archive([
        (b'stadata/gr\x81n.txt', b'cp437', 0, noon, march, None),          # "grün" in code page 437
        ('stadata/M\u00c4RZ/beleg.txt'.encode(), b'utf8', 0x800, noon, march, None),
        (b'stadata/tab\there.txt', b'tab', 0, noon, march, None),
        (b'stadata/zeit.txt', b'zeit', 0, noon, march, 1700000000),       # extended timestamp wins
    ])
    open(out, 'wb').write(data + central + end(4, len(central), len(data)))
elif kind == 'many':
    # 0xFFFF entries claimed by a directory that holds one
    data, central = archive([(b'eins.txt', b'1', 0, noon, march, None)])
    open(out, 'wb').write(data + central + end(0xFFFF, len(central), len(data)))
elif kind == 'zip64':
    # A Zip64 end record that claims 2**60 entries in a directory of 2**62 bytes
    data, central = archive([(b'eins.txt', b'1', 0, noon, march, None)])
    z64 = struct.pack('<IQHHIIQQQQ', 0x06064b50, 44, 45, 45, 0, 0, 2**60, 2**60, 2**62, len(data))
    locator = struct.pack('<IIQI', 0x07064b50, 0, len(data) + len(central), 1)
    e = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    open(out, 'wb').write(data + central + z64 + locator + e)
elif kind == 'offset':
    # The directory starts beyond the end of the file
    data, central = archive([(b'eins.txt', b'1', 0, noon, march, None)])
    open(out, 'wb').write(data + central + end(1, len(central), 0x7FFFFFF0))
)";

void HandMade(const fs::path& out, const std::string& kind) {
    Python(kHandMade, {out.string(), kind});
}

class ArchiveSearch : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTree(dir / "src", {{"stadata/m01/beleg0001.dat", "eins"},
                                {"stadata/m01/beleg0002.dat", "zwei"},
                                {"stadata/m02/beleg0013.dat", "März"},
                                {"stadata/Übersicht März.txt", "Ü"},
                                {"stadata/log/lauf.log", TextRecords(50)}});
        fs::create_directories(archiv);
    }

    testsupport::TempDir dir;
    fs::path archiv = dir / "ARCHIV";
};

TEST_F(ArchiveSearch, ZipAnd7zzArchivesAreSearchedAndNumberedAsTheListingNumbersThem) {
    Make({"zip", "-qr", (archiv / "zip.zip").string(), "stadata"}, dir / "src");
    Make({"7zz", "a", "-tzip", "-bso0", "-bsp0", (archiv / "sieben.zip").string(), "stadata"}, dir / "src");
    const TOutcome found = Search(archiv, {"beleg"});
    EXPECT_TRUE(found.failures.empty());
    EXPECT_EQ(found.result.hits, 6u);
    EXPECT_EQ(found.Archives(), (std::vector<std::string>{"sieben.zip", "zip.zip"}));
    EXPECT_EQ(Sorted(found.Names("zip.zip")), (std::vector<std::string>{
                  "stadata/m01/beleg0001.dat", "stadata/m01/beleg0002.dat", "stadata/m02/beleg0013.dat"}));
    // The same number, size, time and name as the listing of the archive.
    for (const THitLine& hit : found.hits) EXPECT_EQ(AsListed(hit), ListedLine(archiv / hit.archive, hit.number));
}

TEST_F(ArchiveSearch, ANameMadeOnUnixThatIsNotUtf8IsShownWithItsOwnBytesAsTheListingShowsIt) {
    // Info-ZIP on Unix stores the bytes of the name on disk; they are not code page 437.
    const std::string latin1 = std::string("stadata/caf") + '\xE9' + ".txt";
    testsupport::WriteFile(dir / "src" / latin1, "Kaffee");
    Make({"zip", "-q", (archiv / "roh.zip").string(), latin1}, dir / "src");
    const TOutcome found = Search(archiv, {"caf"});
    EXPECT_TRUE(found.failures.empty());
    ASSERT_EQ(found.hits.size(), 1u);
    EXPECT_EQ(found.hits[0].name, latin1);
    EXPECT_EQ(AsListed(found.hits[0]), ListedLine(archiv / "roh.zip", found.hits[0].number));
}

TEST_F(ArchiveSearch, SplitSetsAreCountedOnceUnderTheNameThatOpensThem) {
    testsupport::WriteFile(dir / "src/stadata/gross.bin", Incompressible(300'000, 3));
    Make({"zip", "-qr", "-s", "64k", (archiv / "geteilt.zip").string(), "stadata"}, dir / "src");
    ASSERT_TRUE(fs::exists(archiv / "geteilt.z03"));
    Make({"zip", "-qr", (dir / "stuecke.zip").string(), "stadata"}, dir / "src");
    Make({"split", "-b", "100000", "-d", "-a", "3", "--numeric-suffixes=1", (dir / "stuecke.zip").string(),
         (archiv / "stuecke.zip.").string()},
        dir.path());
    ASSERT_TRUE(fs::exists(archiv / "stuecke.zip.003"));
    const TOutcome found = Search(archiv, {"beleg0013"});
    EXPECT_TRUE(found.failures.empty()) << found.failures.front().second;
    ASSERT_EQ(found.hits.size(), 2u);
    EXPECT_EQ(found.hits[0].archive, "geteilt.zip");
    EXPECT_EQ(found.hits[1].archive, "stuecke.zip.001");
    for (const THitLine& hit : found.hits) EXPECT_EQ(AsListed(hit), ListedLine(archiv / hit.archive, hit.number));
    EXPECT_EQ(found.result.archives, 2u);
}

TEST_F(ArchiveSearch, ADamagedArchiveIsReportedAndTheOthersAreStillSearched) {
    Make({"zip", "-qr", (archiv / "a.zip").string(), "stadata"}, dir / "src");
    Make({"zip", "-qr", (archiv / "z.zip").string(), "stadata"}, dir / "src");
    const std::string whole = testsupport::ReadFile(archiv / "a.zip");
    testsupport::WriteFile(archiv / "m-abgeschnitten.zip", whole.substr(0, whole.size() - 30));
    testsupport::WriteFile(archiv / "SK261207.001", "kein Archiv");
    testsupport::WriteFile(archiv / "notiz.txt", "keine Archivdatei, wird übergangen");
    testsupport::WriteFile(archiv / "rest.z02", "ein Teil ohne seine Gruppe");
    const TOutcome found = Search(archiv, {"lauf.log"});
    EXPECT_EQ(found.Archives(), (std::vector<std::string>{"a.zip", "z.zip"}));
    std::vector<std::string> failed;
    for (const auto& [archive, reason] : found.failures) {
        failed.push_back(archive);
        // A volume without its set names the missing last volume instead.
        EXPECT_NE(reason.find(archive == "rest.z02" ? "rest.zip" : archive), std::string::npos) << reason;
    }
    EXPECT_EQ(failed, (std::vector<std::string>{"SK261207.001", "m-abgeschnitten.zip", "rest.z02"}));
    EXPECT_NE(found.failures[0].second.find("beschädigt"), std::string::npos) << found.failures[0].second;
    EXPECT_NE(found.failures[2].second.find("fehlt"), std::string::npos) << found.failures[2].second;
    EXPECT_EQ(found.result.failures, 3u);
}

TEST_F(ArchiveSearch, PatternsMatchWholeNamesAndWordsAnyPartWithoutRegardToCase) {
    Make({"zip", "-qr", (archiv / "a.zip").string(), "stadata"}, dir / "src");
    const auto names = [&](const std::vector<std::string>& terms) { return Sorted(Search(archiv, terms).Names("a.zip")); };
    EXPECT_EQ(names({"stadata/m01/beleg00*"}),
              (std::vector<std::string>{"stadata/m01/beleg0001.dat", "stadata/m01/beleg0002.dat"}));
    EXPECT_TRUE(names({"m01/beleg00*"}).empty());        // a pattern covers the whole name
    EXPECT_TRUE(names({"STADATA/m01/beleg00*"}).empty());  // and is exact about case, as GLOB is
    EXPECT_EQ(names({"stadata/m0[2-9]/*.dat"}), (std::vector<std::string>{"stadata/m02/beleg0013.dat"}));
    EXPECT_EQ(names({"stadata/?01"}), std::vector<std::string>{});
    EXPECT_EQ(names({"stadata/?01/*2.dat"}), std::vector<std::string>{"stadata/m01/beleg0002.dat"});
    EXPECT_EQ(names({"BELEG0013"}), (std::vector<std::string>{"stadata/m02/beleg0013.dat"}));
    EXPECT_EQ(names({"ÜBERSICHT MÄRZ"}), (std::vector<std::string>{"stadata/Übersicht März.txt"}));
    EXPECT_EQ(names({"übersicht märz"}), (std::vector<std::string>{"stadata/Übersicht März.txt"}));
    EXPECT_EQ(names({"ubersicht"}), std::vector<std::string>{});
    // Several terms: an entry matching any of them.
    EXPECT_EQ(names({"lauf", "stadata/m01/*0001.dat"}),
              (std::vector<std::string>{"stadata/log/lauf.log", "stadata/m01/beleg0001.dat"}));
}

TEST(ArchiveSearchTerms, WordsAndPatternsAreToldApartAndEmptyTermsRefused) {
    EXPECT_TRUE(tavik::search::IsPattern("beleg*"));
    EXPECT_TRUE(tavik::search::IsPattern("a?c"));
    EXPECT_TRUE(tavik::search::IsPattern("[ab]"));
    EXPECT_FALSE(tavik::search::IsPattern("beleg 0013.dat"));
    EXPECT_THROW(TNameMatcher({}), tavik::EOlvex);
    EXPECT_THROW(TNameMatcher({"beleg", ""}), tavik::EOlvex);
    TNameMatcher matcher({"ÄÖÜ"});
    EXPECT_TRUE(matcher.Matches("x/äöü/y"));
    EXPECT_TRUE(matcher.Matches("ÄÖÜ"));
    EXPECT_FALSE(matcher.Matches("aou"));
}

TEST_F(ArchiveSearch, NamesInCodePage437AndExtendedTimestampsReadAsTheListingReadsThem) {
    HandMade(archiv / "hand.zip", "names");
    const TOutcome found = Search(archiv, {"stadata"});
    ASSERT_TRUE(found.failures.empty()) << found.failures.front().second;
    ASSERT_EQ(found.hits.size(), 4u);
    EXPECT_EQ(found.hits[0].name, "stadata/grün.txt");
    EXPECT_EQ(found.hits[0].when, "2025-03-14 12:30:10");
    EXPECT_EQ(found.hits[1].name, "stadata/MÄRZ/beleg.txt");
    EXPECT_EQ(found.hits[2].name, "stadata/tab\there.txt");
    EXPECT_NE(found.hits[3].when, "2025-03-14 12:30:10");
    for (const THitLine& hit : found.hits) {
        std::string listed = ListedLine(archiv / "hand.zip", hit.number);
        if (hit.number == 2) listed.replace(listed.find("\\t"), 2, "\t");  // the listing escapes the tab
        EXPECT_EQ(AsListed(hit), listed);
    }
    EXPECT_EQ(Search(archiv, {"GRÜN"}).hits.size(), 1u);
    EXPECT_EQ(Search(archiv, {"märz"}).hits.size(), 1u);
}

TEST_F(ArchiveSearch, HostileDirectoriesAreReportedWithoutTakingMemoryTheyClaim) {
    HandMade(archiv / "viele.zip", "many");
    HandMade(archiv / "zip64.zip", "zip64");
    HandMade(archiv / "weit.zip", "offset");
    Make({"zip", "-qr", (archiv / "gut.zip").string(), "stadata"}, dir / "src");
    const TOutcome found = Search(archiv, {"eins", "beleg0001"});
    EXPECT_EQ(found.Archives(), std::vector<std::string>{"gut.zip"});
    ASSERT_EQ(found.failures.size(), 3u);
    for (const auto& [archive, reason] : found.failures) {
        EXPECT_NE(reason.find("beschädigt"), std::string::npos) << archive << ": " << reason;
        EXPECT_EQ(reason.find("Arbeitsspeicher"), std::string::npos) << archive << ": " << reason;
    }
}

TEST_F(ArchiveSearch, EveryCutOfAnArchiveIsEitherSearchedOrReported) {
    Make({"zip", "-qr", (dir / "ganz.zip").string(), "stadata"}, dir / "src");
    const std::string whole = testsupport::ReadFile(dir / "ganz.zip");
    for (std::size_t length = 0; length < whole.size(); length += 7) {
        testsupport::WriteFile(archiv / "cut.zip", whole.substr(0, length));
        testsupport::WriteFile(archiv / "flip.zip", whole.substr(0, length) + std::string(1, static_cast<char>(
                                                         whole[length] ^ 0x5A)) + whole.substr(length + 1));
        const TOutcome found = Search(archiv, {"*"}, 1);
        EXPECT_EQ(found.result.archives, 2u);
        EXPECT_EQ(found.result.failures + (found.Archives().size()), 2u) << length;
    }
}

TEST_F(ArchiveSearch, TheOrderIsTheSameOnOneThreadAndOnSeveral) {
    for (int i = 0; i < 30; ++i)
        Make({"zip", "-qr", (archiv / ("SK2612" + std::to_string(10 + i) + ".001")).string(), "stadata"}, dir / "src");
    const TOutcome one = Search(archiv, {"*.dat"}, 1);
    const TOutcome four = Search(archiv, {"*.dat"}, 4);
    EXPECT_EQ(one.hits.size(), 90u);
    EXPECT_EQ(one.hits, four.hits);
    EXPECT_EQ(one.Archives().front(), "SK261210.001");
    EXPECT_EQ(one.Archives().back(), "SK261239.001");
    EXPECT_EQ(four.result.entries, one.result.entries);
}

TEST_F(ArchiveSearch, ProgressCanEndTheSearch) {
    for (const char* name : {"a.zip", "b.zip", "c.zip"}) Make({"zip", "-qr", (archiv / name).string(), "stadata"}, dir / "src");
    TSearchEvents events;
    std::vector<std::string> archives;
    events.OnHit = [&](const TSearchHit& hit) { archives.push_back(fs::path(hit.archive).filename().string()); };
    events.OnProgress = [](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, 3u);
        return done < 1;
    };
    const TSearchResult result = SearchArchives(archiv.string(), {"lauf"}, events, 2);
    EXPECT_TRUE(result.aborted);
    EXPECT_EQ(archives, std::vector<std::string>{"a.zip"});
}

TEST_F(ArchiveSearch, TheThreadsRunOnlyAFewArchivesAheadAndAThrowingEventStopsThem) {
    // While the first hit is handed on, every other archive goes: only those the threads had
    // already taken can still give hits, the rest is reported as unreadable.
    const int count = 60;
    for (int i = 0; i < count; ++i) {
        const std::string name = "SK2612" + std::to_string(10 + i) + ".001";
        Make({"zip", "-qr", (archiv / name).string(), "stadata"}, dir / "src");
    }
    TSearchEvents events;
    std::set<std::string> searched;
    events.OnHit = [&](const TSearchHit& hit) {
        if (searched.empty())
            for (const auto& entry : fs::directory_iterator(archiv))
                if (entry.path() != fs::path(hit.archive)) fs::remove(entry.path());
        searched.insert(hit.archive);
    };
    const unsigned threads = 2;
    const TSearchResult result = SearchArchives(archiv.string(), {"*.dat"}, events, threads);
    EXPECT_EQ(result.archives, static_cast<std::size_t>(count));
    EXPECT_LE(searched.size(), 1u + 2 * threads) << "archives searched ahead of the first";
    EXPECT_EQ(result.failures + searched.size(), static_cast<std::size_t>(count));

    // An event that throws ends the search with its exception; the threads stop with it.
    for (int i = 0; i < count; ++i)
        Make({"zip", "-qr", (archiv / ("SK2612" + std::to_string(10 + i) + ".002")).string(), "stadata"}, dir / "src");
    events.OnHit = [](const TSearchHit&) { throw std::runtime_error("Abbruch im Ereignis"); };
    EXPECT_THROW(SearchArchives(archiv.string(), {"*.dat"}, events, 4), std::runtime_error);
}

TEST_F(ArchiveSearch, ADirectoryThatCannotBeReadIsAnError) {
    EXPECT_THROW(Search(dir / "fehlt", {"x"}), tavik::EOlvex);
}

}  // namespace
}  // namespace archivtest
