#pragma once
// A pipe whose two ends close when it goes.
#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    }
    ~Pipe() {
        for (int f : fd)
            if (f >= 0) close(f);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void CloseEnd(int i) {
        if (fd[i] >= 0) close(fd[i]);
        fd[i] = -1;
    }
};

}  // namespace testsupport
