#include "host/services/host_settings.h"

#include "host/services/db_connector.h"
#include "host/services/digits.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

// Decimal digits alone, blanks around them allowed; nothing for anything else or above most.
std::optional<std::uint64_t> WholeNumber(const std::string& text, std::uint64_t most) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const std::size_t last = text.find_last_not_of(" \t");
    return DigitsValue(std::string_view(text).substr(first, last - first + 1), most);
}

}  // namespace

std::optional<std::uint8_t> ParseRTyp(const std::string& text) {
    const auto value = WholeNumber(text, 255);
    if (!value) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::optional<std::chrono::seconds> ParseArchivLockWait(const std::string& text) {
    const auto value = WholeNumber(text, static_cast<std::uint64_t>(kLongestArchivLockWait.count()));
    if (!value) return std::nullopt;
    return std::chrono::seconds(static_cast<std::chrono::seconds::rep>(*value));
}

std::optional<int> ParsePruefIntervall(const std::string& text) {
    const auto value = WholeNumber(text, kLongestPruefIntervall);
    if (!value || *value == 0) return std::nullopt;
    return static_cast<int>(*value);
}

std::string RTypRefusal(const std::string& text) {
    return "Die Einstellung „rtyp“ der Olvex-Datenbank („" + text +
           "“) ist keine ganze Zahl von 0 bis 255. Bitte die Zeile in der Tabelle host_setting berichtigen "
           "oder löschen (ohne sie gilt 1).";
}

std::string ArchivLockWaitRefusal(const std::string& text) {
    return "Die Einstellung „ArchivLockWait“ der Olvex-Datenbank („" + text +
           "“) ist keine ganze Zahl von 0 bis " + std::to_string(kLongestArchivLockWait.count()) +
           " (Sekunden). Bitte die Zeile in der Tabelle host_setting berichtigen oder löschen (ohne sie wartet "
           "ein Lauf " + std::to_string(kDefaultArchivLockWait.count()) + " Sekunden).";
}

std::string PruefIntervallRefusal(const std::string& text) {
    return "Die Einstellung „PruefIntervall“ der Olvex-Datenbank („" + text + "“) ist keine ganze Zahl von 1 bis " +
           std::to_string(kLongestPruefIntervall) +
           " (Tage). Bitte die Zeile in der Tabelle host_setting berichtigen oder löschen (ohne sie gilt ein Archiv "
           "nach " + std::to_string(kDefaultPruefIntervall) + " Tagen ohne Prüfung als überfällig).";
}

int PruefIntervallSetting() {
    const auto text = GetDBConnector().GetSetting(kPruefIntervallSetting);
    if (!text) return kDefaultPruefIntervall;
    const auto days = ParsePruefIntervall(*text);
    if (!days) throw EHostInstallation(PruefIntervallRefusal(*text));
    return *days;
}

std::chrono::seconds ArchivLockWaitSetting() {
    const auto text = GetDBConnector().GetSetting(kArchivLockWaitSetting);
    if (!text) return kDefaultArchivLockWait;
    const auto wait = ParseArchivLockWait(*text);
    if (!wait) throw EHostInstallation(ArchivLockWaitRefusal(*text));
    return *wait;
}

}  // namespace tavik
