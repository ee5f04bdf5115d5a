#include "host/services/db_connector.h"

#include <unordered_set>

#include "host/services/host_installation.h"

namespace tavik {

struct TDBConnector::TConnection {
    explicit TConnection(const std::string& path)
        : Db(path, TSqliteDb::Mode::ReadOnly),
          Related(Db.Handle(), "SELECT related FROM related_file WHERE name = ?1 ORDER BY position"),
          Setting(Db.Handle(), "SELECT value FROM host_setting WHERE key = ?1") {}

    TSqliteDb Db;
    TSqliteStatement Related;
    TSqliteStatement Setting;
    // The names that have rows at all: most files of a scan have none, and asking the set is
    // far cheaper than a query.
    std::optional<std::unordered_set<std::string>> RelatedNames;
};

TDBConnector::TDBConnector() = default;
TDBConnector::~TDBConnector() = default;

TDBConnector::TConnection& TDBConnector::Connection() {
    if (!FConnection) FConnection = std::make_unique<TConnection>(HostDatabasePath());
    return *FConnection;
}

bool TDBConnector::GetRelatedFiles(const std::string& name, std::vector<std::string>& list) {
    auto& connection = Connection();
    if (!connection.RelatedNames) {
        connection.RelatedNames.emplace();
        TSqliteStatement names(connection.Db.Handle(), "SELECT DISTINCT name FROM related_file");
        while (names.Step())
            if (auto text = names.Text(0)) connection.RelatedNames->insert(std::move(*text));
    }
    if (!connection.RelatedNames->contains(name)) return false;
    auto& statement = connection.Related;
    statement.Reset();
    statement.Bind(1, name);
    bool known = false;
    while (statement.Step()) {
        known = true;
        if (auto related = statement.Text(0)) list.push_back(std::move(*related));
    }
    statement.Reset();
    return known;
}

std::optional<std::string> TDBConnector::GetSetting(const std::string& key) {
    auto& statement = Connection().Setting;
    statement.Reset();
    statement.Bind(1, key);
    std::optional<std::string> value;
    if (statement.Step()) value = statement.Text(0);
    statement.Reset();
    return value;
}

std::vector<THostDirectory> TDBConnector::Directories() {
    TSqliteStatement statement(Connection().Db.Handle(), "SELECT name, path FROM host_directory ORDER BY position");
    std::vector<THostDirectory> directories;
    while (statement.Step()) directories.push_back({statement.Text(0).value_or(""), statement.Text(1).value_or("")});
    return directories;
}

std::vector<TObjectRule> TDBConnector::ObjectRules(int rtyp) {
    TSqliteStatement statement(Connection().Db.Handle(),
                               "SELECT name, archive, days FROM object_rule WHERE rtyp = ?1");
    statement.Bind(1, static_cast<std::int64_t>(rtyp));
    std::vector<TObjectRule> rules;
    while (statement.Step())
        rules.push_back({statement.Text(0).value_or(""), statement.Int(1) != 0, static_cast<std::int32_t>(statement.Int(2))});
    return rules;
}

void TDBConnector::Close() { FConnection.reset(); }

TDBConnector& GetDBConnector() {
    static TDBConnector instance;
    return instance;
}

}  // namespace tavik
