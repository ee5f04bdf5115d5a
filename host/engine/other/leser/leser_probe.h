#pragma once
// A self-check of the cage: "vendrask-leser --probe-verboten AUFRUF" tries, inside the cage, one
// of the calls it forbids, as a parser run astray would. The call must kill the helper with
// SIGSYS. Each try is harmless where it goes through (an empty name, signal 0, a child that
// ends at once), so an uncaged helper only reports that it survived.
#include <array>
#include <string_view>

namespace tavik::leser {

inline constexpr const char* kLeserForbiddenProbe = "--probe-verboten";

// The calls that can be tried.
// "mmap-exec" asks for executable memory, where injected code would go.
inline constexpr std::array<std::string_view, 9> kLeserForbiddenCalls{
    "open", "unlink", "rename", "socket", "fork", "execve", "kill", "ptrace", "mmap-exec"};

// Tries the call; returns only when it came back: LeserExitProbeSurvived, or LeserExitUsage for
// a name that is not on the list.
int TryForbiddenCall(std::string_view call);

}  // namespace tavik::leser
