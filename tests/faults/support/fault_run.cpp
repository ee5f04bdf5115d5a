#include "tests/faults/support/fault_run.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "tests/support/pipe.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace faults {

namespace fs = std::filesystem;
using testsupport::ProcessResult;
using testsupport::Pipe;
using testsupport::RunProcess;

namespace {

bool DropPrivileges() {
    const testsupport::TestUser user = testsupport::UnprivilegedUser();
    return setgroups(0, nullptr) == 0 && setresgid(user.gid, user.gid, user.gid) == 0 &&
           setresuid(user.uid, user.uid, user.uid) == 0;
}

Snapshot FilesBelow(const fs::path& top, const fs::path& relativeTo) {
    Snapshot files;
    if (!fs::exists(top)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(top))
        if (!entry.is_symlink() && entry.is_regular_file())
            files[fs::relative(entry.path(), relativeTo).string()] = testsupport::ReadFile(entry.path());
    return files;
}

}  // namespace

bool CanDropPrivileges() {
    if (geteuid() != 0) return true;
    const pid_t child = fork();
    if (child == 0) _exit(DropPrivileges() ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

FaultResult RunVendrask(const testsupport::HostFixture& host, const FaultOptions& options) {
    Pipe out, err;
    // A user without rights may not reach the build tree: it runs a copy it can reach.
    const std::string program = options.unprivileged ? testsupport::ReachableProgram("vendrask")
                                                     : testsupport::BinDir() + "/vendrask";
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(out.fd[1], 1);
        dup2(err.fd[1], 2);
        setenv("OLVEX_ROOT", host.Root().c_str(), 1);
        // As the scheduler starts it: no display, so a command line that is no unattended run
        // ends at once instead of opening the window.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
        for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        if (options.fileSizeLimit >= 0) {
            // An ignored SIGXFSZ stays ignored across exec: the write fails with EFBIG instead.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
        }
        if (options.unprivileged && geteuid() == 0 && !DropPrivileges()) _exit(124);
        std::vector<char*> args{const_cast<char*>(program.c_str())};
        for (const auto& a : options.args) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(program.c_str(), args.data());
        _exit(127);
    }
    out.CloseEnd(1);
    err.CloseEnd(1);

    FaultResult result;
    const auto deadline = start + std::chrono::milliseconds(options.killAfterMs);
    pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.process.out, &result.process.err};
    bool killSent = false;
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        int timeout = -1;
        if (options.killAfterMs >= 0 && !killSent) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        if (options.whileRunning) {
            options.whileRunning(pid);
            timeout = timeout < 0 ? 20 : std::min(timeout, 20);
        }
        const int ready = poll(fds, 2, timeout);
        if (ready == 0 && options.whileRunning && (options.killAfterMs < 0 || killSent ||
                                                   std::chrono::steady_clock::now() < deadline))
            continue;
        if (ready == 0 && options.killAfterMs >= 0 && !killSent) {
            kill(pid, SIGKILL);
            killSent = true;
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[65536];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0)
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                else
                    fds[i].fd = -1;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.process.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    return result;
}

bool HasOpen(pid_t pid, const std::string& path) {
    std::error_code error;
    const fs::path wanted = fs::canonical(path, error);
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code ignored;
        if (fs::read_symlink(entry.path(), ignored) == wanted) return true;
    }
    return false;
}

Snapshot TakeSnapshot(const testsupport::HostFixture& host, const std::string& directory) {
    return FilesBelow(fs::path(host.Root()) / directory, host.Root());
}

void Merge(Snapshot& into, const Snapshot& more) {
    for (const auto& [name, content] : more) into[name] = content;
}

std::vector<std::string> FinalArchives(const testsupport::HostFixture& host) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
        if (entry.path().filename().string().rfind("SK", 0) == 0) names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Leftovers(const testsupport::HostFixture& host) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
        if (entry.path().filename().string().find(".vrtmp-") != std::string::npos)
            names.push_back(entry.path().filename().string());
    return names;
}

Snapshot ArchiveContents(const std::string& archive) {
    testsupport::TempDir target;
    RunProcess({"unzip", "-qq", "-o", archive, "-d", target.str()});
    return FilesBelow(target.path(), target.path());
}

std::vector<std::string> Violations(const testsupport::HostFixture& host, const Snapshot& before) {
    std::vector<std::string> problems;
    std::vector<Snapshot> archives;
    for (const auto& archive : FinalArchives(host)) {
        const auto test = RunProcess({"unzip", "-tq", archive});
        if (test.status != 0) problems.push_back("broken archive " + archive + ": " + test.out + test.err);
        archives.push_back(ArchiveContents(archive));
    }
    for (const auto& [name, content] : before) {
        const fs::path path = fs::path(host.Root()) / name;
        if (fs::exists(fs::symlink_status(path))) {
            if (testsupport::ReadFile(path) != content) problems.push_back(name + " is in its place with other content");
            continue;
        }
        const bool archived = std::any_of(archives.begin(), archives.end(), [&](const Snapshot& entries) {
            const auto found = entries.find(name);
            return found != entries.end() && found->second == content;
        });
        if (!archived) problems.push_back(name + " is gone and in no final archive with its content");
    }
    return problems;
}

std::string NoisyContent(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string content(size, '\0');
    for (auto& c : content) c = static_cast<char>(random() & 0xFF);
    return content;
}

}  // namespace faults
