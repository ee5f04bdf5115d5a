// vendrask-archiv find on the archives of a real nightly run: the line format, the numbers
// that extract takes, and the exit statuses.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <sstream>

#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BinDir;
using testsupport::HostFixture;
using testsupport::ProcessOptions;
using testsupport::ProcessResult;
using testsupport::RunProcess;

constexpr std::time_t kOld = 1'000'000'000;

std::vector<std::vector<std::string>> Lines(const std::string& out) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            fields.push_back(line.substr(start, tab - start));
        fields.push_back(line.substr(start));
        lines.push_back(fields);
    }
    return lines;
}

std::string LocalTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

class ArchivFind : public ::testing::Test {
protected:
    void SetUp() override {
        host.Rule(1, "stadata/*", true, 30);
        host.File("stadata/m01/beleg0001.dat", "erster Beleg", kOld);
        host.File("stadata/m03/beleg0013.dat", "der Beleg aus dem März", kOld + 60);
        host.File("stadata/Übersicht.txt", "Ü", kOld);
        const ProcessResult run = Run({BinDir() + "/vendrask", "-AUTO", "-A"});
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_FALSE(host.Exists("stadata/m03/beleg0013.dat"));
    }

    ProcessResult Run(const std::vector<std::string>& argv, bool withRoot = true) const {
        ProcessOptions options;
        if (withRoot) options.env["OLVEX_ROOT"] = host.Root();
        else options.unsetEnv.push_back("OLVEX_ROOT");
        return RunProcess(argv, options);
    }
    ProcessResult Find(std::vector<std::string> args, bool withRoot = true) const {
        args.insert(args.begin(), {BinDir() + "/vendrask-archiv", "find"});
        return Run(args, withRoot);
    }

    HostFixture host;
};

TEST_F(ArchivFind, FindsTheArchivedFileInARCHIVAndItsNumberExtractsIt) {
    const ProcessResult found = Find({"BELEG0013"});
    ASSERT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.err, "");
    const auto lines = Lines(found.out);
    ASSERT_EQ(lines.size(), 1u) << found.out;
    const auto& hit = lines[0];
    ASSERT_EQ(hit.size(), 5u);
    EXPECT_EQ(fs::path(hit[0]).parent_path(), fs::path(host.Root()) / "ARCHIV");
    EXPECT_EQ(fs::path(hit[0]).filename().string().substr(0, 2), "SK");
    EXPECT_EQ(hit[2], std::to_string(std::string("der Beleg aus dem März").size()));
    EXPECT_EQ(hit[3], LocalTime(kOld + 60));
    EXPECT_EQ(hit[4], "stadata/m03/beleg0013.dat");

    const fs::path target = fs::path(host.Root()) / "STATEMP/zurueck";
    const ProcessResult extract = Run({BinDir() + "/vendrask-archiv", "extract", hit[0], target.string(), hit[1]});
    ASSERT_EQ(extract.status, 0) << extract.err;
    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(target))
        if (entry.is_regular_file()) written.push_back(fs::relative(entry.path(), target).string());
    EXPECT_EQ(written, std::vector<std::string>{"stadata/m03/beleg0013.dat"});
}

TEST_F(ArchivFind, PatternsWordsAndSeveralTermsOnTheCommandLine) {
    const ProcessResult pattern = Find({"stadata/m0?/beleg00*"});
    ASSERT_EQ(pattern.status, 0) << pattern.err;
    EXPECT_EQ(Lines(pattern.out).size(), 2u) << pattern.out;
    const ProcessResult umlaut = Find({"übersicht", "--", "stadata/m01/*"});
    ASSERT_EQ(umlaut.status, 0) << umlaut.err;
    const auto lines = Lines(umlaut.out);
    ASSERT_EQ(lines.size(), 2u) << umlaut.out;
    std::vector<std::string> names{lines[0][4], lines[1][4]};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"stadata/m01/beleg0001.dat", "stadata/Übersicht.txt"}));
}

TEST_F(ArchivFind, NoHitIsNoFailureAndADamagedArchiveIsOne) {
    const ProcessResult none = Find({"gibtesnicht"});
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "");
    host.File("ARCHIV/SK261207.009", "abgebrochen", kOld);
    const ProcessResult damaged = Find({"beleg0001"});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(Lines(damaged.out).size(), 1u) << damaged.out;
    EXPECT_NE(damaged.err.find("SK261207.009"), std::string::npos) << damaged.err;
    EXPECT_NE(damaged.err.find("beschädigt"), std::string::npos) << damaged.err;
}

TEST_F(ArchivFind, AnotherDirectoryAndNamesWithControlCharacters) {
    const fs::path other = fs::path(host.Root()) / "STATEMP/andere";
    testsupport::WriteFile(other / "src" / "zeile\neins.txt", "x");
    testsupport::SetMTime(other / "src" / "zeile\neins.txt", kOld);
    ProcessOptions options;
    options.workDir = (other / "src").string();
    ASSERT_EQ(RunProcess({"zip", "-q", (other / "eigen.zip").string(), "zeile\neins.txt"}, options).status, 0);
    const ProcessResult found = Find({"--dir", other.string(), "zeile"}, false);
    ASSERT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out, (other / "eigen.zip").string() + "\t0\t1\t" + LocalTime(kOld) + "\tzeile\\neins.txt\n");
}

TEST_F(ArchivFind, WrongUsageIsStatusTwo) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--dir"}, {"--tief", "beleg"}, {"--dir", "", "beleg"}, {"--dir", "/tmp"}}) {
        const ProcessResult result = Find(args);
        EXPECT_EQ(result.status, 2) << args.size();
        EXPECT_NE(result.err.find("Aufruf"), std::string::npos) << result.err;
    }
    const ProcessResult noRoot = Find({"beleg"}, false);
    EXPECT_EQ(noRoot.status, 2);
    EXPECT_NE(noRoot.err.find("OLVEX_ROOT"), std::string::npos) << noRoot.err;
    const ProcessResult missing = Find({"--dir", host.Root() + "/fehlt", "beleg"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("fehlt"), std::string::npos) << missing.err;
}

}  // namespace
