#include "host/services/host_setup.h"

#include <sys/time.h>

#include <filesystem>
#include <fstream>

#include "host/services/exceptions.h"
#include "host/services/host_installation.h"

namespace tavik {

namespace fs = std::filesystem;

namespace {

std::string PrepareRoot(const std::string& root) {
    const std::string absolute = fs::absolute(root).lexically_normal().string();
    if (fs::exists(fs::path(absolute) / kDatabaseName))
        throw EOlvex("In „" + absolute + "“ gibt es bereits eine Olvex-Datenbank; sie wird nicht überschrieben.");
    for (const char* directory : {"", "stadata", "ARCHIV", "STATEMP"}) fs::create_directories(fs::path(absolute) / directory);
    return absolute;
}

}  // namespace

THostSetup::THostSetup(const std::string& root, const std::string& client)
    : FRoot(PrepareRoot(root)), FDb(FRoot + "/" + kDatabaseName, TSqliteDb::Mode::ReadWriteCreate) {
    FDb.Exec(kHostSchema);
    SetSetting("client", client);
    SetSetting("rtyp", "1");
    for (const char* name : {"stadata", "ARCHIV", "STATEMP"}) AddDirectory(name, name);
}

void THostSetup::SetSetting(const std::string& key, const std::string& value) {
    TSqliteStatement(FDb.Handle(), "INSERT OR REPLACE INTO host_setting (key, value) VALUES (?1, ?2)")
        .Bind(1, key)
        .Bind(2, value)
        .Step();
}

void THostSetup::AddDirectory(const std::string& name, const std::string& path) {
    TSqliteStatement(FDb.Handle(), "INSERT INTO host_directory (position, name, path) VALUES (?1, ?2, ?3)")
        .Bind(1, static_cast<std::int64_t>(FNextPosition++))
        .Bind(2, name)
        .Bind(3, path)
        .Step();
    const fs::path directory = fs::path(path).is_absolute() ? fs::path(path) : fs::path(FRoot) / path;
    fs::create_directories(directory);
}

void THostSetup::AddRule(int rtyp, const std::string& name, bool archive, int days) {
    TSqliteStatement(FDb.Handle(), "INSERT OR REPLACE INTO object_rule (rtyp, name, archive, days) VALUES (?1, ?2, ?3, ?4)")
        .Bind(1, static_cast<std::int64_t>(rtyp))
        .Bind(2, name)
        .Bind(3, static_cast<std::int64_t>(archive ? 1 : 0))
        .Bind(4, static_cast<std::int64_t>(days))
        .Step();
}

void THostSetup::AddRelated(const std::string& name, const std::vector<std::string>& related) {
    if (related.empty()) {
        TSqliteStatement(FDb.Handle(), "INSERT INTO related_file (name, position, related) VALUES (?1, 1, NULL)")
            .Bind(1, name)
            .Step();
        return;
    }
    std::int64_t position = 1;
    for (const auto& file : related)
        TSqliteStatement(FDb.Handle(), "INSERT INTO related_file (name, position, related) VALUES (?1, ?2, ?3)")
            .Bind(1, name)
            .Bind(2, position++)
            .Bind(3, file)
            .Step();
}

void THostSetup::WriteFile(const std::string& relativeName, const std::string& content, std::time_t modified) {
    const fs::path path = fs::path(FRoot) / relativeName;
    fs::create_directories(path.parent_path());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out) throw EOlvex("Die Datei „" + path.string() + "“ kann nicht geschrieben werden.");
    }
    const timeval times[2] = {{modified, 0}, {modified, 0}};
    if (utimes(path.c_str(), times) != 0)
        throw EOlvex("Die Zeit der Datei „" + path.string() + "“ kann nicht gesetzt werden.");
}

}  // namespace tavik
