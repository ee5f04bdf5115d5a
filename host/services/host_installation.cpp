#include "host/services/host_installation.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "host/services/exceptions.h"
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

}  // namespace

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
    } catch (const EHostInstallation&) {
        throw;
    } catch (const std::exception& error) {
        throw EHostInstallation("Die Olvex-Datenbank „" + database + "“ ist nicht lesbar: " + error.what());
    }
}

}  // namespace tavik
