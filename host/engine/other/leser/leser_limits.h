#pragma once
// The limits vendrask-leser puts on itself before it looks at the archive. A loop inside the
// library that neither reads further into the archive nor reports anything ends with
// LeserExitNoProgress; running out of address space with LeserExitMemory.
#include <cstdint>

namespace tavik::leser {

constexpr int LeserExitUsage = 2;
constexpr int LeserExitNoProgress = 10;
constexpr int LeserExitMemory = 11;
constexpr int LeserExitRereading = 12;
constexpr int LeserExitOutput = 13;

// Seconds of CPU time the helper may use without progress, and its address space.
constexpr unsigned LeserCpuSecondsWithoutProgress = 3;
constexpr std::uint64_t LeserAddressSpace = std::uint64_t{2} * 1024 * 1024 * 1024;

// Closes every descriptor above standard error, sets the limits and the handlers. Returns false
// when a limit cannot be set.
bool SetLeserLimits();

// Called whenever the helper reads new bytes of the archive or reports something.
void LeserProgress();

}  // namespace tavik::leser
