// Hostile archives through the workbench's command line: lying sizes, a decompression bomb,
// duplicate names, entries that share their data, cut and mutated files. Nothing is written
// outside the target, nothing beyond what the archive declares, and every refusal is reported.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tests/faults/support/fault_run.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testsupport::ProcessResult;
using testsupport::RunProcess;
using testsupport::TempDir;

// Builds the hostile archives: python3 -c SCRIPT KIND OUT [SIZE].
const char* const kHostile = R"(
import sys, zipfile, struct, zlib, io
kind, out = sys.argv[1], sys.argv[2]
def patch_sizes(data, name, csize=None, usize=None):
    b = bytearray(data)
    # local header
    i = b.find(b'PK\x03\x04')
    while i >= 0:
        n = struct.unpack_from('<H', b, i+26)[0]
        if b[i+30:i+30+n] == name:
            if usize is not None: struct.pack_into('<I', b, i+22, usize)
        i = b.find(b'PK\x03\x04', i+4)
    i = b.find(b'PK\x01\x02')
    while i >= 0:
        n = struct.unpack_from('<H', b, i+28)[0]
        if b[i+46:i+46+n] == name:
            if usize is not None: struct.pack_into('<I', b, i+24, usize)
        i = b.find(b'PK\x01\x02', i+4)
    return bytes(b)
if kind == 'bomb':
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('bombe.bin', b'\0' * (int(sys.argv[3]) if len(sys.argv) > 3 else 300_000_000))
        z.writestr('klein.txt', b'klein')
    open(out, 'wb').write(patch_sizes(buf.getvalue(), b'bombe.bin', usize=1000))
elif kind == 'short':
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('kurz.bin', b'x' * 100)
    open(out, 'wb').write(patch_sizes(buf.getvalue(), b'kurz.bin', usize=50_000_000))
elif kind == 'dup':
    import warnings; warnings.simplefilter('ignore')
    with zipfile.ZipFile(out, 'w') as z:
        z.writestr('a.txt', 'erste')
        z.writestr('a.txt', 'zweite')
        z.writestr('d', 'datei')
        z.writestr('d/x.txt', 'darunter')
        z.writestr('A.TXT', 'gross')
elif kind == 'dirfile':
    with zipfile.ZipFile(out, 'w') as z:
        z.writestr('neu/x/', '')
        z.writestr('neu/x', 'eine Datei, wo eben ein Verzeichnis entstand')
        z.writestr('neu/y.txt', 'daneben')
        z.writestr('alt/x', 'eine Datei, wo schon ein Verzeichnis war')
elif kind == 'overlap':
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, 'w', zipfile.ZIP_DEFLATED) as z:
        z.writestr('a', b'A' * 1_000_000)
    b = bytearray(buf.getvalue())
    c = b.find(b'PK\x01\x02'); e = b.find(b'PK\x05\x06')
    central = bytes(b[c:e])
    copies = []
    for k in range(50):
        cc = bytearray(central)
        name = ('b%02d' % k).encode()
        cc[28:30] = struct.pack('<H', len(name))
        cc = cc[:46] + name + cc[46+1:]
        copies.append(bytes(cc))
    newcentral = central + b''.join(copies)
    eocd = bytearray(b[e:])
    struct.pack_into('<H', eocd, 8, 51); struct.pack_into('<H', eocd, 10, 51)
    struct.pack_into('<I', eocd, 12, len(newcentral)); struct.pack_into('<I', eocd, 16, c)
    open(out, 'wb').write(bytes(b[:c]) + newcentral + bytes(eocd))
)";

std::string Archiver() { return testsupport::BinDir() + "/vendrask-archiv"; }

class HostileArchive : public ::testing::Test {
protected:
    std::string Build(const std::string& kind, const std::string& size = "") {
        const std::string path = (dir / (kind + ".zip")).string();
        std::vector<std::string> argv{"python3", "-c", kHostile, kind, path};
        if (!size.empty()) argv.push_back(size);
        const ProcessResult built = RunProcess(argv);
        EXPECT_EQ(built.status, 0) << built.err;
        return path;
    }
    ProcessResult Extract(const std::string& archive) { return RunProcess({Archiver(), "extract", archive, target.string()}); }
    // Bytes written below the target, and whether anything appeared beside it.
    std::uintmax_t Written() const {
        std::uintmax_t bytes = 0;
        if (!fs::exists(target)) return 0;
        for (const auto& entry : fs::recursive_directory_iterator(target))
            if (entry.is_regular_file()) bytes += entry.file_size();
        return bytes;
    }
    std::vector<std::string> Beside() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path() != target && entry.path().extension() != ".zip") names.push_back(entry.path().string());
        return names;
    }

    TempDir dir;
    fs::path target = dir.path() / "ziel";
};

TEST_F(HostileArchive, ABombThatDeclaresASmallSizeStopsThereAndFillsNothing) {
    const std::string archive = Build("bomb", "300000000");
    EXPECT_LT(fs::file_size(archive), 1'000'000u);
    const ProcessResult run = Extract(archive);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("bombe.bin"));
    EXPECT_LE(Written(), 1000u + 5u) << "more than the archive declares was written";
    EXPECT_FALSE(fs::exists(target / "bombe.bin"));
    EXPECT_EQ(testsupport::ReadFile(target / "klein.txt"), "klein");
    EXPECT_EQ(RunProcess({Archiver(), "verify", "--complete", archive}).status, 1);
    EXPECT_TRUE(Beside().empty());
}

TEST_F(HostileArchive, AnEntryShorterThanDeclaredIsRefused) {
    const std::string archive = Build("short");
    const ProcessResult run = Extract(archive);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("kurz.bin"));
    EXPECT_FALSE(fs::exists(target / "kurz.bin"));
    EXPECT_EQ(RunProcess({Archiver(), "verify", "--complete", archive}).status, 1);
}

TEST_F(HostileArchive, ADuplicateNameIsAConflictThatKeepsTheFirstAndIsReported) {
    const std::string archive = Build("dup");
    const ProcessResult run = Extract(archive);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("„a.txt“: Im Zielverzeichnis gibt es bereits eine andere Datei dieses Namens"));
    EXPECT_EQ(testsupport::ReadFile(target / "a.txt"), "erste");
    EXPECT_EQ(testsupport::ReadFile(target / "A.TXT"), "gross");
    // "d" is a file, so "d/x.txt" cannot be below it; nothing goes elsewhere instead.
    EXPECT_EQ(testsupport::ReadFile(target / "d"), "datei");
    EXPECT_TRUE(Beside().empty());
}

// A file whose name a directory holds is refused, whether this extraction made the directory
// (found when the file is put in place) or it was there before (found before its data is
// written); nothing of the file stays behind.
TEST_F(HostileArchive, AFileWhereADirectoryIsIsRefusedWhoeverMadeTheDirectory) {
    const std::string archive = Build("dirfile");
    fs::create_directories(target / "alt" / "x");
    const ProcessResult run = Extract(archive);
    EXPECT_EQ(run.status, 1);
    for (const char* name : {"„neu/x“", "„alt/x“"})
        EXPECT_THAT(run.err, HasSubstr(std::string(name) + ": Im Zielverzeichnis gibt es unter diesem Namen bereits "
                                                           "ein Verzeichnis."));
    EXPECT_TRUE(fs::is_directory(target / "neu" / "x"));
    EXPECT_TRUE(fs::is_directory(target / "alt" / "x"));
    EXPECT_EQ(testsupport::ReadFile(target / "neu" / "y.txt"), "daneben");
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(target))
        if (entry.is_regular_file()) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"y.txt"});
    EXPECT_TRUE(Beside().empty());
}

TEST_F(HostileArchive, EntriesSharingOneLocalHeaderAreRefusedByTheCheck) {
    const std::string archive = Build("overlap");
    const ProcessResult verify = RunProcess({Archiver(), "verify", archive});
    EXPECT_EQ(verify.status, 1);
    EXPECT_THAT(verify.err, HasSubstr("anderen Namen"));
}

// 51 central entries pointing at one local header would unpack 51 MB from a 4 KB file (an
// overlapping-entry bomb): extraction checks the structure first and refuses the archive.
TEST_F(HostileArchive, EntriesSharingOneLocalHeaderAreNotExtracted) {
    const std::string archive = Build("overlap");
    const ProcessResult run = Extract(archive);
    EXPECT_EQ(run.status, 1);
    EXPECT_LE(Written(), 1'000'000u);
}

TEST_F(HostileArchive, EveryCutOfAnArchiveIsRefusedOrExtractsOnlyWhatIsWhole) {
    const std::string whole = Build("dup");
    const std::string bytes = testsupport::ReadFile(whole);
    for (std::size_t length = 0; length < bytes.size(); length += 7) {
        const std::string cut = (dir / "cut.zip").string();
        testsupport::WriteFile(cut, bytes.substr(0, length));
        fs::remove_all(target);
        const ProcessResult run = Extract(cut);
        EXPECT_EQ(run.status, 1) << "cut at " << length;
        EXPECT_LE(run.status, 2);
        EXPECT_TRUE(Beside().empty()) << length;
        EXPECT_EQ(RunProcess({Archiver(), "list", cut}).status, 1) << length;
    }
}

TEST_F(HostileArchive, MutatedArchivesNeverWriteOutsideOrMoreThanDeclared) {
    const std::string whole = Build("dup");
    const std::string bytes = testsupport::ReadFile(whole);
    std::mt19937 random(8);
    for (int round = 0; round < 150; ++round) {
        std::string mutated = bytes;
        for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips)
            mutated[random() % mutated.size()] = static_cast<char>(random() & 0xFF);
        const std::string path = (dir / "mutiert.zip").string();
        testsupport::WriteFile(path, mutated);
        fs::remove_all(target);
        const ProcessResult run = Extract(path);
        EXPECT_LE(run.status, 1) << "round " << round << ": " << run.err;
        if (fs::exists(target)) {
            EXPECT_LE(Written(), 64u * 1024) << round;
        }
        EXPECT_TRUE(Beside().empty()) << round;
    }
}

}  // namespace
}  // namespace faults
