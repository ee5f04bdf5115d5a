#include "tests/support/host_fixture.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "host/services/db_connector.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"

namespace testsupport {

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += '\'';
        quoted += c;
    }
    return quoted + "'";
}

}  // namespace

HostFixture::HostFixture(bool standardDirectories) : FRoot((FTemp.path() / "olvex").string()) {
    fs::create_directories(fs::path(FRoot) / "stadata");
    Sql("CREATE TABLE host_setting (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
        "CREATE TABLE host_directory (position INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
        " path TEXT NOT NULL);"
        "CREATE TABLE object_rule (rtyp INTEGER NOT NULL, name TEXT NOT NULL, archive INTEGER NOT NULL DEFAULT 0,"
        " days INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (rtyp, name));"
        "CREATE TABLE related_file (name TEXT NOT NULL, position INTEGER NOT NULL, related TEXT,"
        " PRIMARY KEY (name, position));");
    Setting("client", "Testmandant");
    if (standardDirectories) {
        Directory("stadata", "stadata");
        Directory("ARCHIV", "ARCHIV");
        Directory("STATEMP", "STATEMP");
    }
}

HostFixture::~HostFixture() { ResetHostServices(); }

void HostFixture::DbCloser::operator()(sqlite3* db) const { sqlite3_close(db); }

void HostFixture::Sql(const std::string& statement) {
    if (!FDb) {
        sqlite3* db = nullptr;
        const int rc = sqlite3_open((FRoot + "/olvex.db").c_str(), &db);
        FDb.reset(db);
        if (rc != SQLITE_OK) throw std::runtime_error("open olvex.db");
        // Test databases need no crash safety; this keeps a fixture with many rules fast.
        sqlite3_exec(db, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(FDb.get(), statement.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    if (rc != SQLITE_OK) throw std::runtime_error("SQL failed: " + message + " in " + statement);
}

void HostFixture::Directory(const std::string& name, const std::string& path) {
    Sql("INSERT INTO host_directory VALUES (" + std::to_string(FNextPosition++) + ", " + Quote(name) + ", " +
        Quote(path) + ")");
    fs::create_directories(fs::path(path).is_absolute() ? fs::path(path) : fs::path(FRoot) / path);
}

void HostFixture::Rule(int rtyp, const std::string& name, bool archive, int days) {
    Sql("INSERT INTO object_rule VALUES (" + std::to_string(rtyp) + ", " + Quote(name) + ", " +
        (archive ? "1" : "0") + ", " + std::to_string(days) + ")");
}

void HostFixture::Related(const std::string& name, const std::vector<std::string>& related) {
    if (related.empty()) {
        Sql("INSERT INTO related_file VALUES (" + Quote(name) + ", 1, NULL)");
        return;
    }
    int position = 1;
    for (const auto& file : related)
        Sql("INSERT INTO related_file VALUES (" + Quote(name) + ", " + std::to_string(position++) + ", " +
            Quote(file) + ")");
}

void HostFixture::Setting(const std::string& key, const std::string& value) {
    Sql("INSERT OR REPLACE INTO host_setting VALUES (" + Quote(key) + ", " + Quote(value) + ")");
}

void HostFixture::File(const std::string& relativeName, const std::string& content, std::time_t modified) {
    const fs::path path = fs::path(FRoot) / relativeName;
    WriteFile(path, content);
    SetMTime(path, modified);
}

bool HostFixture::Exists(const std::string& relativeName) const {
    return fs::exists(fs::symlink_status(fs::path(FRoot) / relativeName));
}

void HostFixture::Activate() const {
    ResetHostServices();
    setenv("OLVEX_ROOT", FRoot.c_str(), 1);
}

void ResetHostServices() {
    tavik::GetDBConnector().Close();
    tavik::TavikInfo().Reset();
    tavik::TavikProgramm().Reset();
}

ProcessResult RunOnHost(const HostFixture& host, const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin(), BinDir() + "/" + program);
    return RunProcess(args, {{{"OLVEX_ROOT", host.Root()}}, {}, "", "", 300});
}

}  // namespace testsupport
