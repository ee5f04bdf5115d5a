// --help and --version of the three programs: German usage and the project's version on
// standard output, status 0, whatever the environment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::BinDir;
using testsupport::RunProcess;

testsupport::ProcessResult Ask(const std::string& program, const std::string& argument) {
    testsupport::ProcessOptions options;
    // Neither answer may depend on a host installation or a display.
    options.unsetEnv = {"OLVEX_ROOT", "DISPLAY", "WAYLAND_DISPLAY"};
    options.env = {{"QT_QPA_PLATFORM", "xcb"}};
    return RunProcess({BinDir() + "/" + program, argument}, options);
}

struct TCase {
    std::string Program;
    std::vector<std::string> Commands;
};

const std::vector<TCase> kPrograms = {
    {"vendrask", {"-A", "-L", "-AUTO", "-D:"}},
    {"vendrask-archiv", {"list", "verify [--complete]", "extract", "pack", "add", "span", "merge", "find [--dir VERZ]",
                         "restore [--to VERZ] [--overwrite]", "journal [--from DATUM] [--to DATUM]",
                         "journal --check", "export --year JAHR ZIEL"}},
    {"olvexhost", {"init", "demo", "candidates", "explain"}},
};

TEST(Usage, HelpPrintsAGermanUsageWithEveryCommandAndEndsWithStatusZero) {
    for (const auto& program : kPrograms) {
        for (const char* argument : {"--help", "-h"}) {
            const auto result = Ask(program.Program, argument);
            EXPECT_EQ(result.status, 0) << program.Program << " " << argument << ": " << result.err;
            EXPECT_EQ(result.err, "") << program.Program;
            EXPECT_EQ(result.out.rfind("Aufruf: " + program.Program, 0), 0u) << result.out;
            EXPECT_NE(result.out.find("Exit-Status: 0 Erfolg"), std::string::npos) << result.out;
            EXPECT_NE(result.out.find("man " + program.Program), std::string::npos) << result.out;
            for (const auto& command : program.Commands)
                EXPECT_NE(result.out.find("  " + command), std::string::npos) << program.Program << ": " << command;
        }
    }
}

TEST(Usage, VersionPrintsTheProjectVersion) {
    for (const auto& program : kPrograms) {
        const auto result = Ask(program.Program, "--version");
        EXPECT_EQ(result.status, 0) << program.Program << ": " << result.err;
        EXPECT_EQ(result.out, program.Program + " " + VENDRASK_VERSION + "\n");
        EXPECT_EQ(result.err, "");
    }
}

TEST(Usage, OnlyTheFirstArgumentAsksSoWrongUsageStillFails) {
    // A file named like an option after a command is the command's argument, not a question.
    const auto archiv = Ask("vendrask-archiv", "list");
    EXPECT_EQ(archiv.status, 2);
    EXPECT_EQ(archiv.out, "");
    EXPECT_NE(archiv.err.find("Aufruf:"), std::string::npos);
    const auto later = RunProcess({BinDir() + "/vendrask-archiv", "verify", "--help"});
    EXPECT_EQ(later.status, 1) << later.err;  // there is no archive named --help
    EXPECT_EQ(later.out, "");
    const auto host = Ask("olvexhost", "--hilfe");
    EXPECT_EQ(host.status, 2);
    EXPECT_EQ(host.out, "");
}

// vendrask has switches only: a question anywhere on the line is answered, and nothing runs.
TEST(Usage, VendraskAnswersAQuestionAnywhereAndRunsNothing) {
    testsupport::HostFixture host;
    host.File("ARCHIV/unbekannt.txt", "wird gelöscht, wenn ein Lauf stattfindet", 1'000'000'000);
    host.File("stadata/alt.dat", "wird archiviert, wenn ein Lauf stattfindet", 1'000'000'000);
    struct TLine {
        std::vector<std::string> Arguments;
        std::string Answer;
    };
    const std::vector<TLine> lines = {
        {{"-L", "--help"}, "Aufruf: vendrask"},
        {{"-AUTO", "-A", "-L", "-h"}, "Aufruf: vendrask"},
        {{"-A", "--version"}, std::string("vendrask ") + VENDRASK_VERSION + "\n"},
        {{"--version", "-L", "--help"}, "Aufruf: vendrask"},
    };
    for (const TLine& line : lines) {
        std::vector<std::string> argv{BinDir() + "/vendrask"};
        argv.insert(argv.end(), line.Arguments.begin(), line.Arguments.end());
        testsupport::ProcessOptions options;
        options.env = {{"OLVEX_ROOT", host.Root()}};
        options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
        const auto result = RunProcess(argv, options);
        EXPECT_EQ(result.status, 0) << line.Arguments.front() << ": " << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out.rfind(line.Answer, 0), 0u) << result.out;
        EXPECT_TRUE(host.Exists("ARCHIV/unbekannt.txt"));
        EXPECT_TRUE(host.Exists("stadata/alt.dat"));
    }
}

}  // namespace
