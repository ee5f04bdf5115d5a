// Whole transfers through pipes and files: pieces are joined, signals do not break a read, and
// the end of the input and real failures are told apart.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "host/services/unique_fd.h"
#include "host/services/whole_io.h"
#include "tests/support/temp_dir.h"

namespace tavik {
namespace {

struct TPipe {
    TUniqueFd read, write;
    TPipe() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        read.Reset(fds[0]);
        write.Reset(fds[1]);
    }
};

std::atomic<int> gSignals{0};
void CountSignal(int) { ++gSignals; }

TEST(WholeIo, AReadJoinsPiecesOutlivesSignalsAndStopsAtTheEnd) {
    struct sigaction action {}, previous {};
    action.sa_handler = CountSignal;  // no SA_RESTART: a blocked read returns EINTR
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
    TPipe pipe;
    const pthread_t reader = ::pthread_self();
    const std::string text = "Ölfässer und Preis€, in Stücken geschrieben";
    std::thread writer([&] {
        for (std::size_t at = 0; at < text.size(); at += 5) {
            ::pthread_kill(reader, SIGUSR1);
            ASSERT_TRUE(WriteWhole(pipe.write.Get(), text.data() + at, std::min<std::size_t>(5, text.size() - at))
                            .Complete(std::min<std::size_t>(5, text.size() - at)));
        }
        pipe.write.Reset();
    });
    std::string got(text.size() + 10, '\0');
    const TIoResult result = ReadWhole(pipe.read.Get(), got.data(), got.size());
    writer.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(result.error, 0);
    EXPECT_EQ(result.done, text.size());
    EXPECT_FALSE(result.Complete(got.size()));
    EXPECT_EQ(got.substr(0, result.done), text);
    EXPECT_GT(gSignals.load(), 0);
}

TEST(WholeIo, AWriteNobodyReadsFailsWithItsReason) {
    TPipe pipe;
    pipe.read.Reset();
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &previous), 0);
    const TIoResult result = WriteWhole(pipe.write.Get(), "abc", 3);
    ::sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_EQ(result.error, EPIPE);
    EXPECT_FALSE(result.Complete(3));
}

TEST(WholeIo, PositionedTransfersLeaveTheRestOfTheFileAlone) {
    const testsupport::TempDir dir;
    const TUniqueFd file(::open((dir.str() + "/f").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(file);
    ASSERT_TRUE(WriteWholeAt(file.Get(), "0123456789", 10, 0).Complete(10));
    ASSERT_TRUE(WriteWholeAt(file.Get(), "ab", 2, 4).Complete(2));
    char back[16] = {};
    const TIoResult all = ReadWholeAt(file.Get(), back, sizeof back, 0);
    EXPECT_EQ(all.error, 0);
    EXPECT_EQ(std::string(back, all.done), "0123ab6789");
    const TIoResult tail = ReadWholeAt(file.Get(), back, 4, 8);
    EXPECT_EQ(std::string(back, tail.done), "89");
    EXPECT_EQ(ReadWholeAt(file.Get(), back, 4, 100).done, 0u);
    const TUniqueFd readOnly(::open((dir.str() + "/f").c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(WriteWholeAt(readOnly.Get(), "x", 1, 0).error, EBADF);
}

}  // namespace
}  // namespace tavik
