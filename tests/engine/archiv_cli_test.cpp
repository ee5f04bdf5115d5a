// vendrask-archiv: output, exit statuses and the commands end to end.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

class ArchivCli : public ::testing::Test {
protected:
    void SetUp() override { WriteTree(dir / "src", SampleTree()); }

    testsupport::ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), archivtest::Cli());
        return Tool(args, dir.str());
    }

    testsupport::TempDir dir;
};

TEST_F(ArchivCli, PackListVerifyExtract) {
    const auto pack = Cli({"pack", "a.zip", "src/daten"});
    ASSERT_EQ(pack.status, 0) << pack.err;
    testsupport::SetMTime(dir / "src/daten/beleg.txt", 1'700'000'000);
    const auto list = Cli({"list", "a.zip"});
    ASSERT_EQ(list.status, 0) << list.err;
    // INDEX, SIZE, date and time, NAME; directories end in '/'.
    EXPECT_NE(list.out.find("0\t0\t"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\tdaten/\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\t" + std::to_string(TextRecords(3000).size()) + "\t"), std::string::npos);
    EXPECT_NE(list.out.find("\tdaten/unter/grüße.txt\n"), std::string::npos);
    const std::string firstLine = list.out.substr(0, list.out.find('\n'));
    EXPECT_EQ(std::count(firstLine.begin(), firstLine.end(), '\t'), 3);
    EXPECT_EQ(firstLine.size() - firstLine.find('\t', firstLine.find('\t') + 1), std::string("\t2026-01-01 00:00:00\tdaten/").size());

    EXPECT_EQ(Cli({"verify", "a.zip"}).status, 0);
    EXPECT_EQ(Cli({"verify", "--complete", "a.zip"}).status, 0);
    const auto extract = Cli({"extract", "a.zip", "out"});
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadTree(dir / "out"), SampleTree());
}

TEST_F(ArchivCli, ExtractByIndexAndAdd) {
    ASSERT_EQ(Cli({"pack", "a.zip", "src/daten/beleg.txt"}).status, 0);
    ASSERT_EQ(Cli({"add", "a.zip", "src/daten/zufall.bin"}).status, 0);
    const auto list = Cli({"list", "a.zip"});
    EXPECT_NE(list.out.find("\tbeleg.txt\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\tzufall.bin\n"), std::string::npos) << list.out;
    const int index = list.out.find("0\t") == 0 && list.out.find("\tzufall.bin") < list.out.find('\n') ? 0 : 1;
    ASSERT_EQ(Cli({"extract", "a.zip", "eins", std::to_string(index)}).status, 0);
    EXPECT_EQ(ReadTree(dir / "eins"), (TTree{{"zufall.bin", SampleTree().at("daten/zufall.bin")}}));
}

TEST_F(ArchivCli, FailuresGiveStatusOneWithAGermanReason) {
    testsupport::WriteFile(dir / "liste.txt", "keine Archivdatei\n");
    const auto text = Cli({"list", "liste.txt"});
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.err.find("gültige Archivdatei"), std::string::npos) << text.err;
    const auto missing = Cli({"list", "fehlt.zip"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(missing.err.empty());
    EXPECT_EQ(Cli({"extract", "fehlt.zip", "out"}).status, 1);
    // A file that libarchive takes for an archive but cannot read names the reason.
    const auto looping = Cli({"list", (fs::path(testsupport::TestDataDir()) / "xar-doublelink.xar").string()});
    EXPECT_EQ(looping.status, 1);
    EXPECT_NE(looping.err.find("Schutzgrenze erreicht: Es wurde angehalten, weil libarchive"), std::string::npos)
        << looping.err;
    EXPECT_EQ(looping.err.find("gültige Archivdatei"), std::string::npos) << looping.err;
    const auto hostile = Cli({"extract", (fs::path(testsupport::TestDataDir()) / "zip-slip-traversal.zip").string(), "out"});
    EXPECT_EQ(hostile.status, 1);
    EXPECT_NE(hostile.err.find("nicht entpackt"), std::string::npos) << hostile.err;
    EXPECT_EQ(testsupport::ReadFile(dir / "out/harmlos.txt"), "harmlos\n");
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

// Stored entries whose data has one byte changed fail their CRC.
void SpoilStoredEntries(const fs::path& zip, const std::vector<std::string>& contents) {
    std::string bytes = testsupport::ReadFile(zip);
    for (const std::string& content : contents) {
        const std::size_t at = bytes.find(content);
        ASSERT_NE(at, std::string::npos);
        bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
    }
    testsupport::WriteFile(zip, bytes);
}

TEST_F(ArchivCli, AFailedItemIsReportedOnce) {
    WriteTree(dir / "in", {{"a.txt", "alpha alpha alpha\n"}, {"b.txt", "bravo bravo bravo\n"}});
    ASSERT_EQ(Tool({"zip", "-q", "-0", (dir / "a.zip").string(), "a.txt", "b.txt"}, (dir / "in").string()).status, 0);
    SpoilStoredEntries(dir / "a.zip", {"bravo bravo"});
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"verify", "--complete", "a.zip"}, {"extract", "a.zip", "aus"}}) {
        const auto result = Cli(args);
        EXPECT_EQ(result.status, 1) << args[0];
        EXPECT_EQ(Count(result.err, "„b.txt“"), 1u) << result.err;
        EXPECT_EQ(Count(result.err, "„a.txt“"), 0u) << result.err;
        // Extraction adds what it wrote.
        EXPECT_EQ(Count(result.err, "\n"), args[0] == "extract" ? 2u : 1u) << result.err;
    }
    EXPECT_EQ(ReadTree(dir / "aus"), (TTree{{"a.txt", "alpha alpha alpha\n"}}));

    // Several failed items: each once, then their count.
    SpoilStoredEntries(dir / "a.zip", {"alpha alpha"});
    const auto both = Cli({"verify", "--complete", "a.zip"});
    EXPECT_EQ(both.status, 1);
    EXPECT_EQ(Count(both.err, "„a.txt“"), 1u) << both.err;
    EXPECT_EQ(Count(both.err, "„b.txt“"), 1u) << both.err;
    EXPECT_NE(both.err.find("vendrask-archiv: 2 Einträge konnten nicht verarbeitet werden.\n"), std::string::npos)
        << both.err;
    EXPECT_EQ(Count(both.err, "\n"), 3u) << both.err;
}

TEST_F(ArchivCli, AFailureOfTheWholeCommandAfterAFailedItemIsReportedToo) {
    // A name that is refused, then an entry cut short by the end of the file.
    Python(R"(
import io, sys, tarfile
buffer = io.BytesIO()
with tarfile.open(fileobj=buffer, mode='w', format=tarfile.USTAR_FORMAT) as t:
    for name, size in (('/absolut.txt', 10), ('b.bin', 20000)):
        info = tarfile.TarInfo(name)
        info.size = size
        t.addfile(info, io.BytesIO(b'b' * size))
open(sys.argv[1], 'wb').write(buffer.getvalue()[:1024 + 512 + 5000])
)",
           {(dir / "kurz.tar").string()});
    const auto result = Cli({"extract", "kurz.tar", "aus"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(Count(result.err, "„/absolut.txt“"), 1u) << result.err;
    EXPECT_EQ(Count(result.err, "unvollständig"), 1u) << result.err;
    EXPECT_EQ(Count(result.err, "0 von 2 Dateien entpackt"), 1u) << result.err;
    EXPECT_EQ(Count(result.err, "\n"), 3u) << result.err;
}

TEST_F(ArchivCli, WrongUsageGivesStatusTwo) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"list"}, {"tanzen", "a.zip"}, {"extract", "a.zip"}, {"extract", "a.zip", "out", "x"},
             {"span", "a.zip", "out"}, {"span", "a.zip", "out", "viel"}, {"pack", "a.zip"}}) {
        const auto result = Cli(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.err.find("Aufruf"), std::string::npos);
    }
}

TEST_F(ArchivCli, SpanAndMergeRunThroughTheEngine) {
    WriteTree(dir / "gross", {{"z.bin", Incompressible(300'000, 5)}});
    ASSERT_EQ(Cli({"pack", "a.zip", "gross"}).status, 0);
    fs::create_directories(dir / "teile");
    fs::create_directories(dir / "ganz");
    const auto small = Cli({"span", "a.zip", "teile", "1000"});
    EXPECT_EQ(small.status, 1) << small.err;
    EXPECT_FALSE(small.err.empty());
    const auto span = Cli({"span", "a.zip", "teile", "100000"});
    ASSERT_EQ(span.status, 0) << span.err;
    EXPECT_TRUE(fs::exists(dir / "teile/a.z01"));
    EXPECT_EQ(Cli({"verify", "--complete", "teile/a.zip"}).status, 0);
    const auto merge = Cli({"merge", "teile/a.zip", "ganz"});
    ASSERT_EQ(merge.status, 0) << merge.err;
    EXPECT_EQ(Tool({"unzip", "-tq", (dir / "ganz/a.zip").string()}).status, 0);
}

TEST_F(ArchivCli, InterruptAbortsPackingAndLeavesNoArchive) {
    WriteTree(dir / "gross", {{"a.bin", Incompressible(40'000'000, 1)}});
    const std::string archive = (dir / "a.zip").string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string cli = archivtest::Cli();
        ::execl(cli.c_str(), cli.c_str(), "pack", archive.c_str(), (dir / "gross").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait until the temporary archive appears, then interrupt.
    for (int i = 0; i < 5000; ++i) {
        bool writing = false;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            writing = writing || entry.path().filename().string().rfind(".a.zip", 0) == 0;
        if (writing) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 0) GTEST_SKIP() << "packing finished before the interrupt arrived";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_FALSE(fs::exists(archive));
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind(".a.zip", 0), 0u) << entry.path();
}

}  // namespace
}  // namespace archivtest
