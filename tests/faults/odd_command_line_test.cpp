// Odd command lines: the programs end with a status of their own (never a crash) and do no
// more than the switches ask.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/faults/support/fault_run.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace faults {
namespace {

using testsupport::HostFixture;
using testsupport::RunProcess;

struct Case {
    std::vector<std::string> args;
    bool archives;  // whether stadata/a.dat is archived
};

TEST(OddCommandLine, TheDirectorySwitchAndOtherParametersOfTheUnattendedRun) {
    const std::vector<Case> cases = {
        {{"-A", "-D:"}, true},                     // an empty list restricts nothing
        {{"-A", "-D:\""}, false},                  // one empty name: no directory has it
        {{"-A", "-D:gibtsnicht"}, false},
        {{"-A", "-D:,,,"}, false},
        {{"-A", "/d:STADATA"}, true},
        {{"-A", "-D:\"stadata\",\"ARCHIV\""}, true},
        {{"-A", "-D:\"sta data\""}, false},
        {{"-A", "-D:" + std::string(100'000, ',')}, false},
        {{"-A", "-D:" + std::string(100'000, 'x')}, false},
        {{"-A", std::string(100'000, 'x')}, true},
        {{"-A", "\xFF\xFE"}, true},
        {{"-A", ""}, true},
        {{"-A", "-"}, true},
        {{"-A", "/"}, true},
        {{"-a", "-auto"}, true},
        {{"-A", "-DX:stadata"}, false},            // the switch is known by its second character
        {{"-AL"}, false},                          // no such switch: no unattended run
        {{"--A"}, false},
        {{"-A=1"}, false},
    };
    for (const auto& [args, archives] : cases) {
        HostFixture host;
        host.File("stadata/a.dat", "a", 1'000'000'000);
        FaultOptions options;
        options.args = args;
        options.killAfterMs = 60'000;  // a run that waits for something is a failure, not a hang
        const FaultResult run = RunVendrask(host, options);
        std::string shown;
        for (const auto& a : args) shown += "[" + a.substr(0, 20) + "] ";
        EXPECT_FALSE(run.killed) << shown;
        EXPECT_LE(run.process.status, 2) << shown << run.process.err;
        EXPECT_EQ(!host.Exists("stadata/a.dat"), archives) << shown << run.process.err;
        if (!archives) {
            EXPECT_TRUE(FinalArchives(host).empty()) << shown;
        }
    }
}

TEST(OddCommandLine, TheDirectorySwitchComparesUmlautsWithoutRegardToCase) {
    HostFixture host;
    host.Directory("DÄTEN", "DÄTEN");
    host.File("DÄTEN/a.dat", "a", 1'000'000'000);
    host.File("stadata/b.dat", "b", 1'000'000'000);
    FaultOptions options;
    options.args = {"-AUTO", "-A", "-D:däten"};
    options.killAfterMs = 60'000;
    const FaultResult run = RunVendrask(host, options);
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_FALSE(host.Exists("DÄTEN/a.dat")) << "„däten“ names the directory „DÄTEN“";
    EXPECT_TRUE(host.Exists("stadata/b.dat"));
    EXPECT_EQ(FinalArchives(host).size(), 1u);
}

TEST(OddCommandLine, TheWorkbenchRefusesWrongUsageWithStatusTwo) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "a.txt", "a");
    const std::string archive = (dir / "a.zip").string();
    const std::string program = testsupport::BinDir() + "/vendrask-archiv";
    ASSERT_EQ(RunProcess({program, "pack", archive, (dir / "a.txt").string()}).status, 0);
    const std::vector<std::vector<std::string>> usage = {
        {},
        {"list"},
        {"list", archive, archive},
        {"verify", "--complete"},
        {"verify", "--vollstaendig", archive},
        {"gibtsnicht"},
        {""},
        {"extract", archive},
        {"extract", archive, (dir / "ziel").string(), "x"},
        {"extract", archive, (dir / "ziel").string(), "-1"},
        {"extract", archive, (dir / "ziel").string(), "99999999999999999999999"},
        {"span", archive, (dir / "teile").string()},
        {"span", archive, (dir / "teile").string(), "-5"},
        {"span", archive, (dir / "teile").string(), "99999999999999999999999"},
        {"span", archive, (dir / "teile").string(), "12abc"},
        {"pack", archive},
    };
    for (const auto& args : usage) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto run = RunProcess(argv);
        std::string shown;
        for (const auto& a : args) shown += "[" + a + "] ";
        EXPECT_EQ(run.status, 2) << shown << run.err;
        EXPECT_FALSE(run.err.empty()) << shown;
    }
    // Well formed but impossible: refused with status 1.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"span", archive, (dir / "teile").string(), "0"},
             {"extract", archive, (dir / "ziel").string(), "7"},
             {"list", (dir / "gibtsnicht.zip").string()},
             {"verify", (dir / "a.txt").string()},
             {"merge", archive, dir.str()}}) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto run = RunProcess(argv);
        EXPECT_EQ(run.status, 1) << args[0] << " " << args.back() << ": " << run.err;
    }
    EXPECT_EQ(testsupport::ReadFile(dir / "a.txt"), "a");
}

}  // namespace
}  // namespace faults
