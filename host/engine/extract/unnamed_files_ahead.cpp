#include "host/engine/extract/unnamed_files_ahead.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "host/services/safe_write.h"

namespace tavik {

namespace {

// The files made ahead hold descriptors: never more than an eighth of what the process may open,
// so that the extraction itself does not run short of them.
std::size_t AheadWithinDescriptors(std::size_t ahead) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return ahead;
    return std::min<std::size_t>(ahead, static_cast<std::size_t>(limit.rlim_cur / 8));
}

}  // namespace

TUnnamedFilesAhead::TUnnamedFilesAhead(int dir, std::vector<std::optional<mode_t>> modes, std::size_t threads,
                                       std::size_t ahead)
    : FDir(::fcntl(dir, F_DUPFD_CLOEXEC, 0)),
      FModes(std::move(modes)),
      FAhead(AheadWithinDescriptors(ahead)),
      FStates(FModes.size(), TState::Passed),
      FFiles(FModes.size()) {
    std::size_t first = 0;
    while (first < FModes.size() && !FModes[first]) ++first;
    if (!FDir || FAhead == 0 || first == FModes.size() || !UnnamedFilesCanBeNamed()) return;
    // The first file shows whether the file system has unnamed files at all.
    FFiles[first] = CreateUnnamedFile(FDir.Get(), *FModes[first]);
    if (!FFiles[first]) return;
    FStates[first] = TState::Made;
    for (std::size_t position = first + 1; position < FModes.size(); ++position)
        if (FModes[position]) FStates[position] = TState::Waiting;
    try {
        for (std::size_t i = 0; i < threads; ++i) FThreads.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
        // Fewer threads, or none: the files not made ahead are made in turn.
    }
}

TUnnamedFilesAhead::~TUnnamedFilesAhead() {
    Stop();
    for (std::thread& thread : FThreads) thread.join();
}

void TUnnamedFilesAhead::Stop() {
    {
        const std::lock_guard lock(FMutex);
        FStop = true;
    }
    FRoom.notify_all();
    FMade.notify_all();
}

std::size_t TUnnamedFilesAhead::NextWaiting() {
    while (FNext < FStates.size() && FStates[FNext] != TState::Waiting) ++FNext;
    return FNext;
}

void TUnnamedFilesAhead::Run() {
    for (;;) {
        std::size_t position = 0;
        {
            std::unique_lock lock(FMutex);
            // A full window is filled again only once half of it has been taken: woken for every
            // file taken, the threads would cost more than they save where files are made fast.
            const auto ended = [this] { return FStop || NextWaiting() >= FStates.size(); };
            if (!ended() && FNext > FTaken + FAhead)
                FRoom.wait(lock, [this, &ended] { return ended() || FNext <= FTaken + FAhead / 2; });
            if (ended()) return;
            position = FNext++;
            FStates[position] = TState::Making;
        }
        TUniqueFd file = CreateUnnamedFile(FDir.Get(), *FModes[position]);
        // Declared after the file: a file not wanted any more is closed once the lock is free.
        const std::lock_guard lock(FMutex);
        if (!FStop && position >= FTaken && file) {
            FFiles[position] = std::move(file);
            FStates[position] = TState::Made;
        } else {
            FStates[position] = TState::Passed;
        }
        if (FTakeWaits) FMade.notify_all();
    }
}

TUniqueFd TUnnamedFilesAhead::Take(std::size_t position, mode_t mode) {
    std::vector<TUniqueFd> givenUp;  // closed after the lock is free
    std::unique_lock lock(FMutex);
    for (std::size_t before = FTaken; before < position && before < FStates.size(); ++before) {
        if (FStates[before] == TState::Made) givenUp.push_back(std::move(FFiles[before]));
        if (FStates[before] != TState::Making) FStates[before] = TState::Passed;
    }
    FTaken = std::max(FTaken, position);
    if (FNext <= FTaken + FAhead / 2) FRoom.notify_all();
    if (position >= FStates.size()) return {};
    // Not begun yet: the caller makes it sooner itself.
    if (FStates[position] == TState::Waiting) FStates[position] = TState::Passed;
    FTakeWaits = true;
    FMade.wait(lock, [this, position] { return FStates[position] != TState::Making; });
    FTakeWaits = false;
    if (FStates[position] != TState::Made) return {};
    FStates[position] = TState::Passed;
    TUniqueFd file = std::move(FFiles[position]);
    if (*FModes[position] != mode) return {};
    return file;
}

}  // namespace tavik
