#pragma once
// The settings of the program in the host database's table host_setting that the runs read. A
// value is taken whole or refused whole, never in part: "12abc" is no number.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tavik {

constexpr const char* kRTypSetting = "rtyp";
constexpr std::uint8_t kDefaultRTyp = 1;
// How long an archive or delete run waits for another run's lock on ARCHIV, in seconds.
constexpr const char* kArchivLockWaitSetting = "ArchivLockWait";
constexpr std::chrono::seconds kDefaultArchivLockWait{300};
constexpr std::chrono::seconds kLongestArchivLockWait{86400};
// After how many days without a complete verification an archive in ARCHIV is overdue.
constexpr const char* kPruefIntervallSetting = "PruefIntervall";
constexpr int kDefaultPruefIntervall = 30;
constexpr int kLongestPruefIntervall = 3650;

// 'rtyp': an integer from 0 to 255 (blanks around it allowed).
std::optional<std::uint8_t> ParseRTyp(const std::string& text);
// 'ArchivLockWait': whole seconds from 0 (do not wait) to a day.
std::optional<std::chrono::seconds> ParseArchivLockWait(const std::string& text);
// 'PruefIntervall': whole days from 1 to ten years.
std::optional<int> ParsePruefIntervall(const std::string& text);

// The messages that refuse an unusable value, naming the setting, the value and what to do.
std::string RTypRefusal(const std::string& text);
std::string ArchivLockWaitRefusal(const std::string& text);
std::string PruefIntervallRefusal(const std::string& text);

// The wait from the host database (the default without a row); throws EHostInstallation for an
// unusable value.
std::chrono::seconds ArchivLockWaitSetting();
// The verification interval in days, likewise.
int PruefIntervallSetting();

}  // namespace tavik
