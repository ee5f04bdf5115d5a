// How the reading helper ends: a bomb meets a protective limit, named as such, and reads fine
// without limits; a helper killed from outside is not called a limit; Ctrl+C at a terminal aborts
// the command and never reaches the helper, which lives in a process group of its own. The
// helper reads inside its seccomp cage, with or without limits.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/engine/archiv_test_helpers.h"

extern char** environ;

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;
using tavik::TErrorKind;

std::string Data(const std::string& name) { return testsupport::TestDataDir() + "/" + name; }

// The running children of parent that are vendrask-leser.
std::vector<pid_t> HelpersOf(pid_t parent) {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        const std::size_t open = text.find('('), close = text.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != 'Z' && text.substr(open + 1, close - open - 1) == "vendrask-leser")
            found.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return found;
}

// A tar.bz2 of one file of 4 GiB of zeros, 5 kB on disk: 64 bzip2 streams of 64 MiB of zeros
// each between the streams of the header and of the end blocks.
const char* const kMakeZeroBomb = R"(
import bz2, sys, tarfile
info = tarfile.TarInfo('nullen.bin')
info.size = 4 * 1024 ** 3
info.mode = 0o644
chunk = 64 * 1024 ** 2
zeros = bz2.compress(bytes(chunk), 9)
with open(sys.argv[1], 'wb') as f:
    f.write(bz2.compress(info.tobuf(format=tarfile.GNU_FORMAT)))
    for _ in range(info.size // chunk):
        f.write(zeros)
    f.write(bz2.compress(bytes(10240)))
)";

TEST(OtherFormatHelper, AZeroBombMeetsTheCpuLimitAndReadsWithoutLimits) {
    testsupport::TempDir dir;
    const std::string bomb = (dir / "nullen.tar.bz2").string();
    Python(kMakeZeroBomb, {bomb});
    ASSERT_LT(fs::file_size(bomb), 10'000u);

    auto engine = Engine(TArchivFormat::Other, bomb);
    // Skipping 4 GiB of zeros in the list reads no new byte of the file for seconds of CPU time;
    // reading all starts with that list, so the check meets the same limit.
    const auto expectLimit = [&engine](bool ok, const char* command) {
        EXPECT_FALSE(ok) << command;
        EXPECT_EQ(engine->LastErrorKind(), TErrorKind::LimitReached) << command;
        EXPECT_NE(engine->LastError().find("Schutzgrenze erreicht"), std::string::npos) << engine->LastError();
        EXPECT_NE(engine->LastError().find("3 Sekunden Rechenzeit"), std::string::npos) << engine->LastError();
        EXPECT_NE(engine->LastError().find("--no-limits"), std::string::npos) << engine->LastError();
        EXPECT_EQ(engine->LastError().find("beschädigt"), std::string::npos) << engine->LastError();
    };
    expectLimit(engine->ExecuteArchivList(), "list");
    expectLimit(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete), "verify --complete");
    ExpectNoChildren();

    engine->NoLimits = true;
    TRecorder recorder;
    recorder.Attach(*engine);
    ASSERT_TRUE(engine->ExecuteArchivList()) << engine->LastError();
    ASSERT_EQ(engine->GetArchivItemsCount(), 1);
    EXPECT_EQ(engine->GetArchivItem(0).Size, std::int64_t{4} * 1024 * 1024 * 1024);
    EXPECT_TRUE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete)) << engine->LastError();
    EXPECT_EQ(recorder.lastDone, std::int64_t{4} * 1024 * 1024 * 1024);
    ExpectNoChildren();
}

TEST(OtherFormatHelper, AHelperKilledFromOutsideIsNamedAsSuchNotAsALimit) {
    auto engine = Engine(TArchivFormat::Other, Data("rockridge-ce-cycle.iso"));
    std::vector<pid_t> killed;
    engine->OnCommandProgress = [&killed](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, std::int64_t,
                                          std::int64_t) {
        // As the OOM killer or an administrator would.
        if (!killed.empty()) return;
        killed = HelpersOf(getpid());
        for (const pid_t pid : killed) kill(pid, SIGKILL);
    };
    EXPECT_FALSE(engine->ExecuteArchivList());
    ASSERT_EQ(killed.size(), 1u);
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::Other);
    EXPECT_NE(engine->LastError().find("von außen beendet wurde (Signal 9)"), std::string::npos) << engine->LastError();
    EXPECT_EQ(engine->LastError().find("Rechenzeit"), std::string::npos) << engine->LastError();
    EXPECT_EQ(engine->LastError().find("beschädigt"), std::string::npos) << engine->LastError();
    ExpectNoChildren();
}

TEST(OtherFormatHelper, TheHelperRunsInAProcessGroupOfItsOwn) {
    auto engine = Engine(TArchivFormat::Other, Data("rockridge-ce-cycle.iso"));
    pid_t group = 0;
    engine->OnCommandProgress = [&group](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand, std::int64_t,
                                         std::int64_t) {
        for (const pid_t pid : HelpersOf(getpid())) group = getpgid(pid);
        if (group != 0) sender.Abort();
    };
    EXPECT_FALSE(engine->ExecuteArchivList());
    EXPECT_TRUE(engine->LastAborted()) << engine->LastError();
    EXPECT_GT(group, 0);
    EXPECT_NE(group, getpgrp());
    ExpectNoChildren();
}

// The value of a field ("Seccomp", "NoNewPrivs") of /proc/PID/status.
std::string StatusField(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0) return line.substr(line.find_first_not_of(" \t", field.size() + 1));
    return {};
}

TEST(OtherFormatHelper, TheHelperReadsTheArchiveInsideItsCage) {
    for (const bool trusted : {false, true}) {
        auto engine = Engine(TArchivFormat::Other, Data("rockridge-ce-cycle.iso"));
        engine->NoLimits = trusted;
        std::string seccomp, noNewPrivileges;
        int calls = 0;
        engine->OnCommandProgress = [&](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand, std::int64_t,
                                        std::int64_t) {
            // libarchive loops on this archive: the helper is at work on it until the abort. Just
            // after its start it may not have reached the archive yet.
            for (const pid_t pid : HelpersOf(getpid())) {
                seccomp = StatusField(pid, "Seccomp");
                noNewPrivileges = StatusField(pid, "NoNewPrivs");
            }
            if (seccomp == "2" || ++calls == 10) sender.Abort();
        };
        EXPECT_FALSE(engine->ExecuteArchivList());
        EXPECT_TRUE(engine->LastAborted()) << engine->LastError();
        EXPECT_EQ(seccomp, "2") << "trusted " << trusted;  // a filter
        EXPECT_EQ(noNewPrivileges, "1") << "trusted " << trusted;
        ExpectNoChildren();
    }
}

// A shell puts a command in a process group of its own and sends Ctrl+C's SIGINT to that group.
TEST(OtherFormatHelper, CtrlCAtATerminalAbortsTheCheckAndEndsTheHelper) {
    testsupport::TempDir dir;
    const std::string errors = (dir / "fehler.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir / "ausgabe.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    std::vector<std::string> words{Cli(), "verify", "--complete", Data("rockridge-ce-cycle.iso")};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t cli = -1;
    ASSERT_EQ(posix_spawn(&cli, argv[0], &actions, &attributes, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    // Ctrl+C once the program is at work with its helper.
    std::vector<pid_t> helpers;
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 6000 && helpers.empty() && !ended; ++i) {
        helpers = HelpersOf(cli);
        ended = waitpid(cli, &status, WNOHANG) == cli;
        if (helpers.empty() && !ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(ended) << testsupport::ReadFile(errors);
    ASSERT_EQ(helpers.size(), 1u);
    ASSERT_EQ(kill(-cli, SIGINT), 0);
    ASSERT_EQ(waitpid(cli, &status, 0), cli);

    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string said = testsupport::ReadFile(errors);
    EXPECT_NE(said.find("Der Vorgang wurde abgebrochen."), std::string::npos) << said;
    EXPECT_EQ(said.find("abgestürzt"), std::string::npos) << said;
    EXPECT_EQ(said.find("beschädigt"), std::string::npos) << said;
    // The helper did not outlive the command: it was ended and reaped, not left to init.
    EXPECT_EQ(kill(helpers.front(), 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

}  // namespace
}  // namespace archivtest
