#include "task/retention_rules.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>

#include "host/services/archive_journal.h"
#include "host/services/exceptions.h"
#include "host/services/paths.h"
#include "host/services/safe_write.h"
#include "host/services/sha256.h"
#include "host/services/system_error.h"
#include "host/services/unique_fd.h"
#include "host/services/vendrask_folder.h"
#include "host/services/whole_io.h"

namespace vendrask {

using namespace tavik;

namespace {

constexpr const char* kFileName = "aufbewahrung.conf";
// A file of periods is a few lines; more than this is no such file.
constexpr off_t kMaxFileSize = 1 << 20;

const char* const kLineForm =
    " Eine Zeile lautet MUSTER JAHRE BESCHREIBUNG, zum Beispiel: \"DATEN/Rechnungen/*\" 8 Buchungsbelege";

[[noreturn]] void LineFault(const std::string& source, int line, const std::string& what) {
    throw EOlvex("Die Aufbewahrungsfristen in „" + source + "“ sind in Zeile " + std::to_string(line) +
                 " nicht lesbar: " + what + "." + kLineForm + ". Bitte die Zeile berichtigen; bis dahin wird "
                 "kein Archiv gelöscht.");
}

void SkipBlanks(const std::string& text, std::size_t& at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
}

// One line without its end; false for a blank line or a comment.
bool ParseLine(const std::string& text, const std::string& source, int number, TRetentionClass& out) {
    std::size_t at = 0;
    SkipBlanks(text, at);
    if (at == text.size() || text[at] == '#') return false;
    std::string pattern;
    if (text[at] == '"') {
        const std::size_t close = text.find('"', at + 1);
        if (close == std::string::npos) LineFault(source, number, "das Anführungszeichen des Musters wird nicht geschlossen");
        pattern = text.substr(at + 1, close - at - 1);
        at = close + 1;
    } else {
        const std::size_t end = text.find_first_of(" \t", at);
        pattern = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end;
    }
    if (pattern.empty()) LineFault(source, number, "das Muster ist leer");
    SkipBlanks(text, at);
    std::size_t digits = at;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])) != 0) ++digits;
    if (digits == at || (digits < text.size() && text[digits] != ' ' && text[digits] != '\t'))
        LineFault(source, number, "nach dem Muster fehlt die Zahl der Jahre");
    if (digits - at > 3 || std::stoi(text.substr(at, digits - at)) > TRetentionRules::kMaxYears)
        LineFault(source, number, "mehr als " + std::to_string(TRetentionRules::kMaxYears) + " Jahre");
    out.Years = std::stoi(text.substr(at, digits - at));
    at = digits;
    SkipBlanks(text, at);
    std::size_t end = text.size();
    while (end > at && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
    out.Pattern = std::move(pattern);
    out.Description = text.substr(at, end - at);
    out.Line = number;
    return true;
}

std::string ReadSmallFile(const std::string& path, bool& missing) {
    missing = false;
    // Not followed when it is a link, not waited for when it is a pipe.
    const TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) {
            missing = true;
            return {};
        }
        throw EOlvex("Die Aufbewahrungsfristen „" + path + "“ können nicht gelesen werden: " +
                     SystemErrorText(errno) + ". Bis das behoben ist, wird kein Archiv gelöscht.");
    }
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxFileSize)
        throw EOlvex("„" + path + "“ ist keine gewöhnliche Textdatei mit Aufbewahrungsfristen. Bitte sie durch "
                     "eine solche ersetzen oder entfernen (dann gilt die Voreinstellung: alles 10 Jahre).");
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    const TIoResult read = ReadWhole(fd.Get(), text.data(), text.size());
    if (read.error != 0)
        throw EOlvex("Die Aufbewahrungsfristen „" + path + "“ können nicht gelesen werden: " +
                     SystemErrorText(read.error) + ". Bis das behoben ist, wird kein Archiv gelöscht.");
    text.resize(read.done);
    return text;
}

TRetentionRules RulesOf(const std::string& path, bool& missing) {
    const std::string text = ReadSmallFile(path, missing);
    if (missing) return TRetentionRules::Parse(TRetentionRules::DefaultText(), path, true);
    return TRetentionRules::Parse(text, path);
}

}  // namespace

std::string TRetentionRules::PathIn(const std::string& archivDir) {
    return ConcatPathNames(VendraskFolderIn(archivDir), kFileName);
}

const std::string& TRetentionRules::DefaultText() {
    static const std::string text =
        "# Aufbewahrungsfristen der Archive in diesem Archivverzeichnis (vendrask)\n"
        "#\n"
        "# Jede Zeile: MUSTER JAHRE BESCHREIBUNG\n"
        "#   MUSTER        GLOB-Muster über die Namen der Einträge in den Archiven, wie in den Regeln\n"
        "#                 der Objekttabelle (* ? [...]); ein Muster mit Leerzeichen in \"...\"\n"
        "#   JAHRE         so viele Jahre nach dem Ende des Kalenderjahres, in dem der Eintrag zuletzt\n"
        "#                 geändert wurde, wird er aufbewahrt; 0: keine Frist\n"
        "#   BESCHREIBUNG  frei; sie erscheint in der Vorschau, auf der Löschseite und im Bericht\n"
        "# Die erste passende Zeile gilt. Ein Archiv wird erst gelöscht, wenn die Frist jedes seiner\n"
        "# Einträge abgelaufen ist. Jede Änderung dieser Datei wird im Journal festgehalten.\n"
        "#\n"
        "# Beispiele (§ 147 AO, § 257 HGB):\n"
        "# \"DATEN/Rechnungen/*\"  8  Buchungsbelege\n"
        "# DATEN/Briefe/*        6  Handels- und Geschäftsbriefe\n"
        "# * 0                      schaltet die Fristen aus (nicht empfohlen)\n"
        "\n"
        "*  10  Alle Unterlagen (Voreinstellung)\n";
    return text;
}

TRetentionRules TRetentionRules::Parse(const std::string& text, const std::string& source, bool defaulted) {
    TRetentionRules rules;
    rules.FDefaulted = defaulted;
    rules.FText = text;
    rules.FSha256 = Sha256Hex(text);
    rules.FFallback = {"", kLongestYears, "keine Zeile der Aufbewahrungsfristen passt, daher die längste Frist", 0};
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++number;
        TRetentionClass line;
        if (ParseLine(text.substr(start, end - start), source, number, line)) rules.FClasses.push_back(std::move(line));
        start = end + 1;
    }
    return rules;
}

const TRetentionClass& TRetentionRules::ClassOf(const std::string& entryName) const {
    for (const auto& line : FClasses)
        if (sqlite3_strglob(line.Pattern.c_str(), entryName.c_str()) == 0) return line;
    return FFallback;
}

std::vector<TRetentionClass> TRetentionRules::SwitchedOff() const {
    std::vector<TRetentionClass> off;
    for (const auto& line : FClasses)
        if (line.Years == 0) off.push_back(line);
    return off;
}

TRetentionRules ReadRetentionRules(const std::string& archivDir) {
    bool missing = false;
    return RulesOf(TRetentionRules::PathIn(archivDir), missing);
}

TRetentionRules TakeRetentionRules(const std::string& archivDir, TArchiveJournal& journal) {
    const std::string path = TRetentionRules::PathIn(archivDir);
    bool missing = false;
    TRetentionRules rules = RulesOf(path, missing);
    if (missing) {
        // The journal has made the folder.
        TSafeWrite file(path, TDurability::Flushed, 0644);
        file.Write(TRetentionRules::DefaultText().data(), TRetentionRules::DefaultText().size());
        // Another run may have written it meanwhile; then that one counts.
        rules = file.Place(TPlacing::NoReplace) ? TRetentionRules::Parse(TRetentionRules::DefaultText(), path)
                                                : RulesOf(path, missing);
    }
    const auto last = journal.Last({journalkind::Aufbewahrung});
    if (!last || last->Sha256 != rules.Sha256()) {
        TJournalRecord record;
        record.Kind = journalkind::Aufbewahrung;
        record.Path = path;
        record.Size = static_cast<std::int64_t>(rules.Text().size());
        record.Sha256 = rules.Sha256();
        record.Detail = rules.Text();
        journal.Append({record});
    }
    return rules;
}

}  // namespace vendrask
