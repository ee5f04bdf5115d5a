#pragma once
// Creates and fills host installations: the tool olvexhost uses it to set up a new or a demo
// installation. The program itself only reads the host database.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "host/services/sqlite_db.h"

namespace tavik {

class THostSetup {
public:
    // Creates root, root/stadata, root/ARCHIV, root/STATEMP and root/olvex.db with the host
    // tables and the directory names stadata, ARCHIV and STATEMP. An existing database is
    // refused, so that no installation is overwritten.
    THostSetup(const std::string& root, const std::string& client);

    void SetSetting(const std::string& key, const std::string& value);
    void AddDirectory(const std::string& name, const std::string& path);
    void AddRule(int rtyp, const std::string& name, bool archive, int days);
    // related empty: the single row with NULL that means "known, no files".
    void AddRelated(const std::string& name, const std::vector<std::string>& related);

    const std::string& Root() const { return FRoot; }
    // Writes a file below the root (relative name with '/') with the given modification time.
    void WriteFile(const std::string& relativeName, const std::string& content, std::time_t modified);

private:
    std::string FRoot;
    TSqliteDb FDb;
    int FNextPosition = 1;
};

}  // namespace tavik
