// Every failure reaches the caller with its kind beside the text: an abort, a full disk, a
// damaged archive, a refused entry and a missing input, for the command and for each item.
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "tests/engine/archiv_test_helpers.h"
#include "tests/support/file_size_limit.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;
using tavik::TErrorKind;

bool WriteProcFile(const char* path, const std::string& text) {
    std::ofstream file(path);
    file << text;
    file.flush();
    return static_cast<bool>(file);
}

// Runs body in a child process that sees a file system of 256 KiB at dir, and gives its
// result; -1 where the system grants no user and mount namespace to mount one.
int InSmallFileSystem(const fs::path& dir, const std::function<int()>& body) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    const pid_t pid = fork();
    if (pid == 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !WriteProcFile("/proc/self/setgroups", "deny") ||
            !WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1") ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0)
            _exit(125);
        _exit(body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -2;
    if (!WIFEXITED(status)) return -3;
    return WEXITSTATUS(status) == 125 ? -1 : WEXITSTATUS(status);
}

class ErrorKind : public ::testing::Test {
protected:
    std::string MakeZip(const std::string& name, const TTree& tree, bool stored = false) {
        const fs::path src = dir / ("src-" + name);
        WriteTree(src, tree);
        const std::string path = (dir / name).string();
        const auto zip = Tool({"zip", stored ? "-q0r" : "-qr", path, "."}, src.string());
        EXPECT_EQ(zip.status, 0) << zip.err;
        return path;
    }

    std::unique_ptr<tavik::TArchivFormatAbstract> Recorded(TArchivFormat format, const std::string& file) {
        auto engine = Engine(format, file);
        recorder.Attach(*engine);
        return engine;
    }

    testsupport::TempDir dir;
    TRecorder recorder;
};

TEST_F(ErrorKind, ASuccessLeavesNoKindAndNoText) {
    auto engine = Recorded(TArchivFormat::Zip, MakeZip("gut.zip", {{"a.txt", "a"}}));
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_TRUE(engine->LastError().empty()) << engine->LastError();
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::Other);
    EXPECT_TRUE(recorder.reportedKinds.empty());
}

TEST_F(ErrorKind, AnAbortedCommandIsAborted) {
    testsupport::WriteFile(dir / "gross.bin", Incompressible(8'000'000, 3));
    auto engine = Engine(TArchivFormat::Zip, (dir / "neu.zip").string());
    engine->OnCommandProgress = [](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand, std::int64_t done,
                                   std::int64_t) {
        if (done > 0) sender.Abort();
    };
    engine->FileItemAdd((dir / "gross.bin").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::Aborted) << engine->LastError();
    EXPECT_TRUE(engine->LastAborted());

    // Splitting stops in its own copy loop.
    const std::string archive = MakeZip("teilbar.zip", {{"gross.bin", Incompressible(1'000'000, 4)}}, true);
    fs::create_directories(dir / "teile");
    EXPECT_FALSE(engine->Span(archive, (dir / "teile").string(), 64 * 1024));
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::Aborted) << engine->LastError();

    // The next command starts without the kind of the last.
    engine->ArchivFile = archive;
    engine->OnCommandProgress = nullptr;
    EXPECT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::Other);
}

TEST_F(ErrorKind, DamagedArchivesAreDamaged) {
    // Changed data: found by the CRC, reported for the entry and for the command.
    const std::string stored = MakeZip("stored.zip", {{"text.txt", TextRecords(2000)}}, true);
    std::string bytes = testsupport::ReadFile(stored);
    const std::size_t at = bytes.find("Beleg 1000;");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'X';
    testsupport::WriteFile(stored, bytes);
    auto engine = Recorded(TArchivFormat::Zip, stored);
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    EXPECT_EQ(recorder.reportedKinds, std::vector<TErrorKind>{TErrorKind::DamagedArchive});
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::DamagedArchive) << engine->LastError();
    engine->ExtractDir = (dir / "out").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::DamagedArchive) << engine->LastError();

    // A broken structure and a cut-off archive fail the whole command.
    const std::string deflated = testsupport::ReadFile(MakeZip("gut.zip", {{"text.txt", TextRecords(2000)}}));
    std::string header = deflated;
    header[30] = static_cast<char>(header[30] ^ 0x20);  // the first local header's name
    testsupport::WriteFile(dir / "kopf.zip", header);
    testsupport::WriteFile(dir / "kurz.zip", deflated.substr(0, deflated.size() / 2));
    testsupport::WriteFile(dir / "kein.zip", "Das ist kein Archiv.\n");
    for (const char* name : {"kopf.zip", "kurz.zip", "kein.zip"}) {
        auto damaged = Engine(TArchivFormat::Zip, (dir / name).string());
        EXPECT_FALSE(damaged->ExecuteArchivVerify(TArchivVerifyMode::Simple)) << name;
        EXPECT_EQ(damaged->LastErrorKind(), TErrorKind::DamagedArchive) << name << ": " << damaged->LastError();
    }
    // So does a cut-off archive of format 1.
    Python(R"(
import io, sys, tarfile
with tarfile.open(sys.argv[1], 'w') as t:
    data = bytes(range(256)) * 400
    info = tarfile.TarInfo('gross.bin'); info.size = len(data); t.addfile(info, io.BytesIO(data))
)",
           {(dir / "ganz.tar").string()});
    const std::string tar = testsupport::ReadFile(dir / "ganz.tar");
    testsupport::WriteFile(dir / "kurz.tar", tar.substr(0, 40'000));
    auto other = Recorded(TArchivFormat::Other, (dir / "kurz.tar").string());
    other->ExtractDir = (dir / "out-tar").string();
    EXPECT_FALSE(other->ExecuteArchivExtract());
    EXPECT_EQ(other->LastErrorKind(), TErrorKind::DamagedArchive) << other->LastError();
}

TEST_F(ErrorKind, RefusedEntriesAreRefused) {
    const fs::path kept = fs::path(testsupport::TestDataDir()) / "zip-slip-traversal.zip";
    auto engine = Recorded(TArchivFormat::Zip, kept.string());
    engine->ExtractDir = (dir / "out").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    ASSERT_FALSE(recorder.reportedKinds.empty());
    for (const TErrorKind kind : recorder.reportedKinds) EXPECT_EQ(kind, TErrorKind::RefusedEntry);
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::RefusedEntry) << engine->LastError();

    // Links that lead outside, in format 1.
    Python(R"(
import io, sys, tarfile
with tarfile.open(sys.argv[1], 'w') as t:
    info = tarfile.TarInfo('link'); info.type = tarfile.SYMTYPE; info.linkname = '/etc'; t.addfile(info)
    info = tarfile.TarInfo('hart'); info.type = tarfile.LNKTYPE; info.linkname = '../../etwas'; t.addfile(info)
)",
           {(dir / "links.tar").string()});
    recorder = {};
    auto other = Recorded(TArchivFormat::Other, (dir / "links.tar").string());
    other->ExtractDir = (dir / "out-tar").string();
    EXPECT_FALSE(other->ExecuteArchivExtract());
    EXPECT_EQ(recorder.reportedKinds, (std::vector<TErrorKind>{TErrorKind::RefusedEntry, TErrorKind::RefusedEntry}));
    EXPECT_EQ(other->LastErrorKind(), TErrorKind::RefusedEntry) << other->LastError();
}

TEST_F(ErrorKind, MissingInputsAreMissing) {
    const std::string gone = (dir / "fehlt.zip").string();
    for (const TArchivFormat format : {TArchivFormat::Zip, TArchivFormat::Other}) {
        auto engine = Engine(format, gone);
        EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple));
        EXPECT_EQ(engine->LastErrorKind(), TErrorKind::InputMissing) << engine->LastError();
        EXPECT_FALSE(engine->ExecuteArchivList());
        EXPECT_EQ(engine->LastErrorKind(), TErrorKind::InputMissing) << engine->LastError();
    }

    // A file to pack that is not there is an item missing.
    testsupport::WriteFile(dir / "da.txt", "da");
    auto engine = Recorded(TArchivFormat::Zip, (dir / "neu.zip").string());
    engine->FileItemAdd((dir / "da.txt").string());
    engine->FileItemAdd((dir / "weg.txt").string());
    EXPECT_FALSE(engine->ExecuteFilesAdd(false));
    EXPECT_EQ(recorder.reportedKinds, std::vector<TErrorKind>{TErrorKind::InputMissing});
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::InputMissing) << engine->LastError();

    // Splitting an archive that is not there, and a split archive that lacks a volume.
    fs::create_directories(dir / "teile");
    EXPECT_FALSE(engine->Span(gone, (dir / "teile").string(), 64 * 1024));
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::InputMissing) << engine->LastError();
    const std::string archive = MakeZip("teilbar.zip", {{"gross.bin", Incompressible(300'000, 5)}}, true);
    ASSERT_TRUE(engine->Span(archive, (dir / "teile").string(), 64 * 1024)) << engine->LastError();
    ASSERT_TRUE(fs::remove(dir / "teile/teilbar.z02"));
    auto split = Engine(TArchivFormat::Zip, (dir / "teile/teilbar.zip").string());
    EXPECT_FALSE(split->ExecuteArchivList());
    EXPECT_EQ(split->LastErrorKind(), TErrorKind::InputMissing) << split->LastError();
}

TEST_F(ErrorKind, AFileSizeLimitIsAFullDisk) {
    testsupport::WriteFile(dir / "gross.bin", Incompressible(1'000'000, 6));
    const std::string archive = MakeZip("gross.zip", {{"gross.bin", Incompressible(1'000'000, 6)}});
    fs::create_directories(dir / "teile");
    auto packing = Engine(TArchivFormat::Zip, (dir / "neu.zip").string());
    auto reading = Recorded(TArchivFormat::Zip, archive);
    reading->ExtractDir = (dir / "out").string();
    {
        const testsupport::TFileSizeLimit limit(64 * 1024);
        packing->FileItemAdd((dir / "gross.bin").string());
        EXPECT_FALSE(packing->ExecuteFilesAdd(false));
        EXPECT_EQ(packing->LastErrorKind(), TErrorKind::DiskFull) << packing->LastError();
        EXPECT_FALSE(packing->Span(archive, (dir / "teile").string(), 512 * 1024));
        EXPECT_EQ(packing->LastErrorKind(), TErrorKind::DiskFull) << packing->LastError();
        EXPECT_FALSE(reading->ExecuteArchivExtract());
    }
    EXPECT_EQ(recorder.reportedKinds, std::vector<TErrorKind>{TErrorKind::DiskFull});
    EXPECT_EQ(reading->LastErrorKind(), TErrorKind::DiskFull) << reading->LastError();
    // With room again the same command succeeds.
    packing->FileItemAdd((dir / "gross.bin").string());
    EXPECT_TRUE(packing->ExecuteFilesAdd(false)) << packing->LastError();
    EXPECT_EQ(packing->LastErrorKind(), TErrorKind::Other);
}

TEST_F(ErrorKind, AFullFileSystemIsAFullDisk) {
    testsupport::WriteFile(dir / "gross.bin", Incompressible(1'000'000, 8));
    const std::string archive = MakeZip("gross.zip", {{"gross.bin", Incompressible(1'000'000, 8)}});
    fs::create_directories(dir / "klein");
    const int packed = InSmallFileSystem(dir / "klein", [&] {
        auto engine = Engine(TArchivFormat::Zip, (dir / "klein/neu.zip").string());
        engine->FileItemAdd((dir / "gross.bin").string());
        return engine->ExecuteFilesAdd(false) ? 100 : static_cast<int>(engine->LastErrorKind());
    });
    if (packed == -1) GTEST_SKIP() << "no user and mount namespace for a small file system here";
    EXPECT_EQ(packed, static_cast<int>(TErrorKind::DiskFull));
    const int extracted = InSmallFileSystem(dir / "klein", [&] {
        auto engine = Engine(TArchivFormat::Zip, archive);
        engine->ExtractDir = (dir / "klein/out").string();
        return engine->ExecuteArchivExtract() ? 100 : static_cast<int>(engine->LastErrorKind());
    });
    EXPECT_EQ(extracted, static_cast<int>(TErrorKind::DiskFull));
}

}  // namespace
}  // namespace archivtest
