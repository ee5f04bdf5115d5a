#pragma once
// The database connector: the one connection to the host database, opened read-only on
// first use, with the prepared look-ups the program needs.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/services/sqlite_db.h"

namespace tavik {

struct THostDirectory {
    std::string Name;
    std::string Path;  // as stored: absolute or relative to the root
};

struct TObjectRule {
    std::string Name;  // an exact relative name or a GLOB pattern
    bool Archive = false;
    std::int32_t Days = 0;
};

class TDBConnector {
public:
    TDBConnector();
    ~TDBConnector();

    // The names of the files that belong with name (relative, '/' separator), in their order.
    // false when the database knows nothing of name; true with an empty list when it knows
    // that name has no files at all.
    bool GetRelatedFiles(const std::string& name, std::vector<std::string>& list);

    std::optional<std::string> GetSetting(const std::string& key);
    std::vector<THostDirectory> Directories();
    std::vector<TObjectRule> ObjectRules(int rtyp);

    // Closes the connection; the next call opens the database of the current OLVEX_ROOT.
    void Close();

private:
    struct TConnection;
    TConnection& Connection();

    std::unique_ptr<TConnection> FConnection;
};

TDBConnector& GetDBConnector();

}  // namespace tavik
