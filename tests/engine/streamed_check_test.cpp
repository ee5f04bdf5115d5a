// Verification reads an archive once, front to back, in pieces that a few buffers hold in turn:
// the whole file's digest and every entry come from the same bytes. Whatever the entries' sizes
// and places, the number of readers, or what happens to the file meanwhile, the outcome is the
// one a reading of the whole file gives, and a digest is given only for the bytes the file holds.
#include <atomic>
#include <fstream>

#include "host/engine/pack/packed_check.h"
#include "host/engine/pack/piece_plan.h"
#include "host/services/sha256.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TFilePiece;
using tavik::TRawExtent;

struct TPlanCase {
    const char* name;
    std::uint64_t fileSize;
    std::vector<TRawExtent> extents;
    std::vector<std::vector<std::uint64_t>> pieces;  // start, end, then the entries in it
    std::vector<std::size_t> apart;
};

// Pieces of 100 bytes; entries of more than 250 are read apart.
std::vector<TPlanCase> PlanCases() {
    return {
        {"Leer", 0, {}, {}, {}},
        {"OhneEintraege", 250, {}, {{0, 100}, {100, 200}, {200, 250}}, {}},
        {"KleineEintraege", 300, {{10, 20}, {40, 30}, {90, 5}, {130, 60}}, {{0, 100, 0, 1, 2}, {100, 200, 3}, {200, 300}}, {}},
        {"UeberDieGrenze", 300, {{10, 50}, {70, 60}}, {{0, 70, 0}, {70, 170, 1}, {170, 270}, {270, 300}}, {}},
        {"LangerEintrag", 400, {{5, 200}}, {{0, 5}, {5, 205, 0}, {205, 305}, {305, 400}}, {}},
        {"ZuGrossFuerDiePuffer", 400, {{20, 300}, {330, 10}}, {{0, 100}, {100, 200}, {200, 300}, {300, 400, 1}}, {0}},
        {"UngeordnetUndLeer", 400, {{200, 0}, {50, 10}, {400, 0}}, {{0, 100, 1}, {100, 200}, {200, 300, 0}, {300, 400}}, {2}},
        {"UeberDasEnde", 300, {{250, 100}, {20, 10}}, {{0, 100, 1}, {100, 200}, {200, 300}}, {0}},
    };
}

TEST(PiecePlan, PiecesCoverTheFileAndHoldEachEntryWhole) {
    for (const TPlanCase& c : PlanCases()) {
        SCOPED_TRACE(c.name);
        const tavik::TPiecePlan plan = tavik::PlanPieces(c.fileSize, c.extents, 100, 250);
        std::vector<std::vector<std::uint64_t>> pieces;
        std::vector<int> placed(c.extents.size(), 0);
        std::uint64_t at = 0;
        for (const TFilePiece& piece : plan.pieces) {
            EXPECT_EQ(piece.start, at);
            EXPECT_GT(piece.end, piece.start);
            EXPECT_LE(piece.end - piece.start, 250u);
            at = piece.end;
            std::vector<std::uint64_t> row = {piece.start, piece.end};
            for (const std::size_t e : piece.entries) {
                EXPECT_GE(c.extents[e].start, piece.start);
                EXPECT_LE(c.extents[e].start + c.extents[e].size, piece.end);
                ++placed[e];
                row.push_back(e);
            }
            pieces.push_back(row);
        }
        EXPECT_EQ(at, c.fileSize);
        for (const std::size_t e : plan.apart) ++placed[e];
        EXPECT_EQ(placed, std::vector<int>(c.extents.size(), 1));
        EXPECT_EQ(pieces, c.pieces);
        EXPECT_EQ(plan.apart, c.apart);
    }
}

// One entry of 5 MB (a piece of its own, longer than the usual), many of 150 KB (several to a
// piece, one across the usual end of one), one of 17 MB stored (more than a piece may hold:
// read apart), empty files and a directory; stored and deflated by turns. About 32 MB.
struct TArchiveFile {
    std::string name;
    std::string content;
    bool stored;
};

std::vector<TArchiveFile> Files() {
    // First, so that its progress (the moment the file is changed, where a case does) comes while
    // most of the file is still unread, with one reader.
    std::vector<TArchiveFile> files = {{"scans/gross.bin", Incompressible(5'000'000, 1), true}};
    for (int i = 0; i < 60; ++i)
        files.push_back({"belege/" + std::to_string(100 + i) + ".bin", Incompressible(150'000, 10 + i), i % 2 == 0});
    files.push_back({"leer.txt", "", false});
    files.push_back({"protokolle/lang.log", TextRecords(200'000), false});
    files.push_back({"scans/riesig.bin", Incompressible(17'000'000, 2), true});
    for (int i = 0; i < 20; ++i)
        files.push_back({"spaet/" + std::to_string(i) + ".bin", Incompressible(100'000, 200 + i), i % 2 == 1});
    return files;
}

// Python's zipfile writes the archive; spoiled: entries whose stored data gets one byte changed
// (CRC left as it was).
void BuildArchive(const fs::path& path, const std::vector<TArchiveFile>& files, const std::vector<std::string>& spoiled) {
    std::vector<std::string> args = {path.string(), std::to_string(spoiled.size())};
    args.insert(args.end(), spoiled.begin(), spoiled.end());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path source = path.parent_path() / "quelle" / std::to_string(i);
        testsupport::WriteFile(source, files[i].content);
        args.push_back(files[i].name + "\n" + source.string() + "\n" + (files[i].stored ? "0" : "8"));
    }
    Python(R"(
import sys, zipfile
path, count = sys.argv[1], int(sys.argv[2])
spoiled, specs = sys.argv[3:3 + count], sys.argv[3 + count:]
with zipfile.ZipFile(path, "w") as archive:
    archive.writestr(zipfile.ZipInfo("belege/"), b"")
    for spec in specs:
        name, source, method = spec.split("\n")
        info = zipfile.ZipInfo(name, (2026, 12, 1, 8, 0, 0))
        info.compress_type = int(method)
        archive.writestr(info, open(source, "rb").read())
data = bytearray(open(path, "rb").read())
with zipfile.ZipFile(path) as archive:
    for name in spoiled:
        info = archive.getinfo(name)
        name_length = int.from_bytes(data[info.header_offset + 26:info.header_offset + 28], "little")
        extra_length = int.from_bytes(data[info.header_offset + 28:info.header_offset + 30], "little")
        data[info.header_offset + 30 + name_length + extra_length + info.compress_size // 2] ^= 0x55
open(path, "wb").write(bytes(data))
)",
           args);
}

// vendrask's own pack command writes the same files, each with its fingerprint.
void PackOurs(const fs::path& path, const std::vector<TArchiveFile>& files) {
    const fs::path tree = path.parent_path() / "baum";
    std::vector<std::string> argv = {Cli(), "pack", path.string()};
    for (const TArchiveFile& file : files) {
        testsupport::WriteFile(tree / file.name, file.content);
        const std::string top = fs::path(file.name).begin()->string();
        if (std::find(argv.begin() + 3, argv.end(), top) == argv.end()) argv.push_back(top);
    }
    const testsupport::ProcessResult packed = Tool(argv, tree.string());
    ASSERT_EQ(packed.status, 0) << packed.out << packed.err;
}

enum class TBuilder { Python, Ours, OursChanged };
enum class TMeanwhile { Nothing, Grows, CutShort, Stopped };

struct TStreamCase {
    const char* name;
    TBuilder builder;
    unsigned readers;
    bool fileDigest;
    std::vector<std::string> spoiled;
    TMeanwhile meanwhile;
    const char* failureNames;  // in the failure's text; empty: none
    bool digest;               // the whole file's SHA-256 is given (and is the file's)
};

std::vector<TStreamCase> StreamCases() {
    return {
        {"EinLeser", TBuilder::Python, 1, true, {}, TMeanwhile::Nothing, "", true},
        {"ZweiLeser", TBuilder::Python, 2, true, {}, TMeanwhile::Nothing, "", true},
        {"VierLeser", TBuilder::Python, 4, true, {}, TMeanwhile::Nothing, "", true},
        {"SpaeterEintragVerdorben", TBuilder::Python, 2, true, {"spaet/18.bin"}, TMeanwhile::Nothing, "spaet/18.bin", true},
        {"GrossesStueckVerdorben", TBuilder::Python, 2, true, {"scans/gross.bin"}, TMeanwhile::Nothing, "scans/gross.bin", true},
        {"AbseitsGelesenVerdorben", TBuilder::Python, 4, true, {"scans/riesig.bin"}, TMeanwhile::Nothing, "scans/riesig.bin", true},
        {"OhneDigestVerdorben", TBuilder::Python, 2, false, {"belege/102.bin"}, TMeanwhile::Nothing, "belege/102.bin", false},
        {"DateiWaechstWaehrendDerPruefung", TBuilder::Python, 1, true, {}, TMeanwhile::Grows,
         "wurde verändert, während sie geprüft wurde", false},
        {"DateiGekuerztWaehrendDerPruefung", TBuilder::Python, 1, true, {}, TMeanwhile::CutShort,
         "wurde verändert, während sie geprüft wurde", false},
        {"Abgebrochen", TBuilder::Python, 2, true, {}, TMeanwhile::Stopped, "", false},
        // With fingerprints, the entries' hashing carries the whole file's digest along.
        {"MitFingerabdruckEinLeser", TBuilder::Ours, 1, true, {}, TMeanwhile::Nothing, "", true},
        {"MitFingerabdruckZweiLeser", TBuilder::Ours, 2, true, {}, TMeanwhile::Nothing, "", true},
        {"MitFingerabdruckVierLeser", TBuilder::Ours, 4, true, {}, TMeanwhile::Nothing, "", true},
        {"MitFingerabdruckOhneDigest", TBuilder::Ours, 2, false, {}, TMeanwhile::Nothing, "", false},
        {"FingerabdruckPasstNicht", TBuilder::OursChanged, 2, true, {}, TMeanwhile::Nothing,
         "spaet/18.bin“ passt nicht zu seinem SHA-256-Fingerabdruck", true},
        {"MitFingerabdruckGekuerzt", TBuilder::Ours, 2, true, {}, TMeanwhile::CutShort, "spaet/", false},
        {"MitFingerabdruckGewachsen", TBuilder::Ours, 1, true, {}, TMeanwhile::Grows,
         "wurde verändert, während sie geprüft wurde", false},
    };
}

TEST(StreamedCheck, EachOutcomeIsThatOfTheWholeFile) {
    testsupport::TempDir dir;
    const std::vector<TArchiveFile> files = Files();
    const int fileEntries = static_cast<int>(files.size());
    const fs::path sound = dir.path() / "heil.zip";
    const fs::path ours = dir.path() / "eigen.zip";
    for (const TStreamCase& c : StreamCases()) {
        SCOPED_TRACE(c.name);
        const fs::path archive = dir.path() / (std::string(c.name) + ".zip");
        if (c.builder != TBuilder::Python) {
            if (!fs::exists(ours)) PackOurs(ours, files);
            fs::copy_file(ours, archive);
            if (c.builder == TBuilder::OursChanged) {
                const auto changed = Tool({"python3", testsupport::TestDataDir() + "/fingerprint/tamper.py",
                                           archive.string(), "content", "spaet/18.bin"});
                ASSERT_EQ(changed.status, 0) << changed.out << changed.err;
            }
        } else if (c.spoiled.empty()) {
            if (!fs::exists(sound)) BuildArchive(sound, files, {});
            fs::copy_file(sound, archive);
        } else {
            BuildArchive(archive, files, c.spoiled);
        }
        std::int64_t size = 0;
        const std::string before = tavik::Sha256OfFile(archive.string(), &size);
        // Readers call this from their threads; the first call changes the file.
        std::atomic<bool> changed{false};
        const auto progress = [&](std::int64_t, std::int64_t) {
            if (c.meanwhile == TMeanwhile::Stopped) return false;
            if (changed.exchange(true)) return true;
            if (c.meanwhile == TMeanwhile::Grows) std::ofstream(archive, std::ios::binary | std::ios::app) << "mehr";
            if (c.meanwhile == TMeanwhile::CutShort) fs::resize_file(archive, static_cast<std::uintmax_t>(size) - 1'000'000);
            return true;
        };
        const tavik::TContentCheck check = tavik::CheckArchiveContent(archive.string(), progress, c.readers, c.fileDigest);

        EXPECT_EQ(check.Aborted, c.meanwhile == TMeanwhile::Stopped);
        if (*c.failureNames == '\0') {
            EXPECT_EQ(check.Failure, "");
        } else {
            EXPECT_NE(check.Failure.find(c.failureNames), std::string::npos) << check.Failure;
        }
        // Every file entry counted where none failed and none was left unread; by its
        // fingerprint where it has one.
        const bool allRead = c.spoiled.empty() && c.builder != TBuilder::OursChanged &&
                             (c.meanwhile == TMeanwhile::Nothing || c.meanwhile == TMeanwhile::Grows);
        const bool fingerprinted = c.builder != TBuilder::Python;
        if (allRead) {
            EXPECT_EQ(check.BySha256, fingerprinted ? fileEntries : 0);
            EXPECT_EQ(check.ByCrcOnly, fingerprinted ? 0 : fileEntries);
        }
        if (!fingerprinted) {
            EXPECT_EQ(check.BySha256, 0);
        }
        ASSERT_EQ(check.FileSha256.has_value(), c.digest);
        if (c.digest) {
            EXPECT_EQ(tavik::HexOf(*check.FileSha256), before);
            EXPECT_EQ(check.FileSize, size);
        }
        fs::remove(archive);
    }
}

}  // namespace
}  // namespace archivtest
