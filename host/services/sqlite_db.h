#pragma once
// A thin RAII layer over SQLite: a connection and prepared statements.
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tavik {

class TSqliteStatement {
public:
    TSqliteStatement(sqlite3* db, const std::string& sql);
    // Binds by position, from 1.
    TSqliteStatement& Bind(int index, const std::string& value);
    TSqliteStatement& Bind(int index, std::int64_t value);
    TSqliteStatement& BindNull(int index);
    // Next row: true while there is one. Throws on errors.
    bool Step();
    void Reset();
    std::optional<std::string> Text(int column) const;
    std::int64_t Int(int column) const;

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    sqlite3* FDb;
    std::unique_ptr<sqlite3_stmt, Finalizer> FStatement;
};

class TSqliteDb {
public:
    enum class Mode { ReadOnly, ReadWriteCreate };
    TSqliteDb(const std::string& path, Mode mode);
    sqlite3* Handle() const { return FDb.get(); }
    void Exec(const std::string& sql);
    const std::string& Path() const { return FPath; }

private:
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    std::string FPath;
    std::unique_ptr<sqlite3, Closer> FDb;
};

}  // namespace tavik
