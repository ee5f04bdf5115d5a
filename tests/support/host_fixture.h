#pragma once
// A real host installation in a temporary directory, written with plain SQL as any other
// client of the host database would, and pointed to by OLVEX_ROOT for the test's process.
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

struct sqlite3;

namespace testsupport {

class HostFixture {
public:
    // Creates root/stadata, root/ARCHIV, root/STATEMP and olvex.db with the directory names
    // stadata, ARCHIV, STATEMP (in that order) unless told otherwise.
    explicit HostFixture(bool standardDirectories = true);
    ~HostFixture();

    const std::string& Root() const { return FRoot; }
    void Sql(const std::string& statement);
    void Directory(const std::string& name, const std::string& path);
    void Rule(int rtyp, const std::string& name, bool archive, int days);
    void Related(const std::string& name, const std::vector<std::string>& related);  // {} = one NULL row
    void Setting(const std::string& key, const std::string& value);
    // A file below the root with a modification time (UTC seconds).
    void File(const std::string& relativeName, const std::string& content, std::time_t modified);
    bool Exists(const std::string& relativeName) const;

    // Points OLVEX_ROOT here and resets the process-wide host objects.
    void Activate() const;
    // Environment for running the programs on this installation.
    std::string RootVariable() const { return "OLVEX_ROOT=" + FRoot; }

private:
    struct DbCloser {
        void operator()(sqlite3* db) const;
    };
    TempDir FTemp;
    std::string FRoot;
    int FNextPosition = 1;
    std::unique_ptr<sqlite3, DbCloser> FDb;  // one connection for all statements of the test
};

// Runs one of the project's programs (BinDir) on this installation (OLVEX_ROOT).
ProcessResult RunOnHost(const HostFixture& host, const std::string& program, std::vector<std::string> args);

// Resets the program object, the error service and the database connection of this process.
void ResetHostServices();

}  // namespace testsupport
