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
// The cage (leser_cage.h) could not be set up; the helper reads nothing uncaged.
constexpr int LeserExitNoCage = 14;
// A forbidden call tried by --probe-verboten came back: the cage did not stop it.
constexpr int LeserExitProbeSurvived = 15;

// Seconds of CPU time the helper may use without progress, and its address space.
constexpr unsigned LeserCpuSecondsWithoutProgress = 3;
constexpr std::uint64_t LeserAddressSpace = std::uint64_t{2} * 1024 * 1024 * 1024;
// The archive may be read this many times over, plus the allowance, before the helper takes the
// reading for a loop: seeking formats (7z, ISO) read parts twice.
constexpr std::int64_t LeserRereadFactor = 16;
constexpr std::int64_t LeserRereadAllowance = std::int64_t{64} * 1024 * 1024;

// Closes every descriptor above standard error and shuts the helper in: it writes no file, opens
// few descriptors, starts no process and leaves no core. With protective also the limits against
// bombs and loops: CPU time without progress and address space. Returns false when a limit
// cannot be set.
bool SetLeserLimits(bool protective);

// Called whenever the helper reads new bytes of the archive or reports something.
void LeserProgress();

}  // namespace tavik::leser
