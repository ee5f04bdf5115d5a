#include "host/services/host_installation.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/host_settings.h"
#include "host/services/paths.h"
#include "host/services/sqlite_db.h"

namespace tavik {

const char* const kHostSchema = R"sql(
CREATE TABLE IF NOT EXISTS host_setting   (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS host_directory (position INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE,
                                           path TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS object_rule    (rtyp INTEGER NOT NULL, name TEXT NOT NULL,
                                           archive INTEGER NOT NULL DEFAULT 0, days INTEGER NOT NULL DEFAULT 0,
                                           PRIMARY KEY (rtyp, name));
CREATE TABLE IF NOT EXISTS related_file   (name TEXT NOT NULL, position INTEGER NOT NULL, related TEXT,
                                           PRIMARY KEY (name, position));
)sql";

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The path with every link resolved as far as it exists; the text itself when that fails.
std::string Canonical(const std::string& path) {
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(path, error);
    if (error) return path;
    std::string text = canonical.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

// A name that can stand at the start of a relative file name: no empty, "." or ".." component.
bool IsPlainRelativeName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.back() == '/') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos) return false;
        start = end + 1;
    }
    return true;
}

// A host directory that is the root or holds it would take the database and every file of
// the installation into a run; one outside the root lends its name to the names of its files.
void CheckHostDirectories(TSqliteDb& db, const std::string& root) {
    std::string archiv = root + "/ARCHIV";
    std::vector<std::pair<std::string, std::string>> directories;  // name, stored path
    TSqliteStatement rows(db.Handle(), "SELECT name, path FROM host_directory ORDER BY position");
    while (rows.Step()) {
        directories.emplace_back(rows.Text(0).value_or(""), rows.Text(1).value_or(""));
        if (SameText(directories.back().first, "ARCHIV"))
            archiv = ResolveHostDirectory(root, directories.back().first, directories.back().second);
    }
    for (const auto& [name, stored] : directories) {
        const std::string path = ResolveHostDirectory(root, name, stored);
        if (const std::string refusal = HostDirectoryRefusal(name, path, root, archiv); !refusal.empty())
            throw EHostInstallation(refusal);
        if (!IsSameOrBelow(path, root) && !IsPlainRelativeName(name))
            throw EHostInstallation("Das Verzeichnis „" + path + "“ liegt außerhalb des Olvex-Stammverzeichnisses, "
                                    "und sein Name „" + name + "“ taugt nicht als Anfang der Dateinamen darin. "
                                    "Bitte in der Tabelle host_directory einen Namen ohne „.“, „..“ und leere "
                                    "Teile eintragen.");
    }
}

// A setting that every run reads is checked once here: one message and status 2, instead of a
// failure for each file that a run looks at.
void CheckHostSettings(TSqliteDb& db) {
    TSqliteStatement rows(db.Handle(), "SELECT key, value FROM host_setting WHERE key IN (?1, ?2)");
    rows.Bind(1, std::string(kRTypSetting));
    rows.Bind(2, std::string(kArchivLockWaitSetting));
    while (rows.Step()) {
        const std::string key = rows.Text(0).value_or("");
        const std::string value = rows.Text(1).value_or("");
        if (key == kRTypSetting && !ParseRTyp(value)) throw EHostInstallation(RTypRefusal(value));
        if (key == kArchivLockWaitSetting && !ParseArchivLockWait(value))
            throw EHostInstallation(ArchivLockWaitRefusal(value));
    }
}

}  // namespace

std::string HostDirectoryRefusal(const std::string& name, const std::string& path, const std::string& root,
                                 const std::string& archiv) {
    const std::string resolved = Canonical(path);
    struct stat status {};
    const bool link = lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
    const std::string through = link ? ", eine symbolische Verknüpfung auf „" + resolved + "“" : "";
    if (IsSameOrBelow(root, path) || IsSameOrBelow(Canonical(root), resolved))
        return "Das Verzeichnis „" + name + "“ der Olvex-Installation („" + path + "“" + through +
               ") ist das Olvex-Stammverzeichnis oder liegt darüber. So würden die Läufe die Datenbank und die "
               "ganze Installation archivieren und löschen. Bitte in der Tabelle host_directory ein Verzeichnis "
               "unterhalb des Stammverzeichnisses oder außerhalb davon eintragen.";
    if (SameText(name, "ARCHIV")) return {};
    // The delete run takes unknown files of ARCHIV without archiving them first: a host
    // directory that ARCHIV is, or holds, would lose its files that way.
    const std::string resolvedArchiv = Canonical(archiv);
    if (IsSameOrBelow(path, archiv) || IsSameOrBelow(resolved, resolvedArchiv))
        return "Das Verzeichnis „" + name + "“ der Olvex-Installation („" + path + "“" + through +
               ") ist ARCHIV selbst oder liegt darin („" + archiv +
               "“). Der Löschlauf würde seine Dateien löschen, ohne sie zu archivieren. Bitte in der Tabelle "
               "host_directory getrennte Verzeichnisse eintragen.";
    // ARCHIV below a host directory as written is left out of its walk; reached only through a
    // link, it would be walked, and the run would pack its own archives.
    if (!IsSameOrBelow(archiv, path) && IsSameOrBelow(resolvedArchiv, resolved))
        return "Das Verzeichnis „" + name + "“ der Olvex-Installation („" + path + "“" + through +
               ") enthält ARCHIV („" + archiv +
               "“). Die Läufe würden ihre eigenen Archive archivieren. Bitte die Verknüpfung oder die Tabelle "
               "host_directory so ändern, dass ARCHIV nicht darin liegt.";
    return {};
}

std::string HostRoot() {
    const char* value = std::getenv(kRootVariable);
    if (value == nullptr || *value == '\0')
        throw EHostInstallation(
            "Die Umgebungsvariable OLVEX_ROOT ist nicht gesetzt. Bitte OLVEX_ROOT auf das Stammverzeichnis "
            "der Olvex-Installation setzen.");
    std::string root = std::filesystem::absolute(value).lexically_normal().string();
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

std::string HostDatabasePath() { return HostRoot() + "/" + kDatabaseName; }

void CheckHostInstallation() {
    const std::string root = HostRoot();
    if (!IsDirectory(root))
        throw EHostInstallation("Das Olvex-Stammverzeichnis „" + root +
                                "“ (OLVEX_ROOT) gibt es nicht. Bitte OLVEX_ROOT prüfen.");
    const std::string database = HostDatabasePath();
    if (!IsRegularFile(database))
        throw EHostInstallation("Die Olvex-Datenbank „" + database +
                                "“ fehlt. Bitte OLVEX_ROOT prüfen oder die Installation einrichten.");
    if (!IsDirectory(root + "/stadata"))
        throw EHostInstallation("Das Verzeichnis „" + root + "/stadata“ fehlt. Es muss direkt unter dem "
                                "Olvex-Stammverzeichnis (OLVEX_ROOT) liegen.");
    try {
        TSqliteDb db(database, TSqliteDb::Mode::ReadOnly);
        TSqliteStatement tables(db.Handle(),
                                "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                                "('host_setting', 'host_directory', 'object_rule', 'related_file')");
        tables.Step();
        if (tables.Int(0) != 4)
            throw EHostInstallation("Der Olvex-Datenbank „" + database +
                                    "“ fehlen Tabellen (host_setting, host_directory, object_rule, "
                                    "related_file). Bitte die Installation einrichten.");
        CheckHostDirectories(db, root);
        CheckHostSettings(db);
    } catch (const EHostInstallation&) {
        throw;
    } catch (const std::exception& error) {
        throw EHostInstallation("Die Olvex-Datenbank „" + database + "“ ist nicht lesbar: " + error.what());
    }
}

}  // namespace tavik
