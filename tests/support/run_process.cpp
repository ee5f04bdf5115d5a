#include "tests/support/run_process.h"

#include "tests/support/pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace testsupport {

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    if (argv.empty()) throw std::invalid_argument("RunProcess: no program");
    Pipe in, out, err;
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in.fd[0], 0);
        dup2(out.fd[1], 1);
        dup2(err.fd[1], 2);
        for (const auto& name : options.unsetEnv) unsetenv(name.c_str());
        for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    in.CloseEnd(0);
    out.CloseEnd(1);
    err.CloseEnd(1);
    std::size_t written = 0;
    if (options.input.empty()) in.CloseEnd(1);

    ProcessResult result;
    pollfd fds[3] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}, {in.fd[1], POLLOUT, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(options.killAfterSeconds);
    bool killed = false;
    for (;;) {
        fds[2].fd = in.fd[1];
        if (fds[0].fd < 0 && fds[1].fd < 0) break;
        int wait = -1;
        if (options.killAfterSeconds > 0 && !killed) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                kill(pid, SIGKILL);  // its pipes close with it
                killed = true;
            } else {
                wait = static_cast<int>(std::min<long long>(left, 1000));
            }
        }
        const int ready = poll(fds, 3, wait);
        if (ready == 0) continue;
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP))) {
                char buffer[65536];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0)
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                else
                    fds[i].fd = -1;
            }
        }
        if (in.fd[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR))) {
            const ssize_t n = write(in.fd[1], options.input.data() + written, options.input.size() - written);
            if (n > 0) written += static_cast<std::size_t>(n);
            if (n <= 0 || written == options.input.size()) in.CloseEnd(1);
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace testsupport
