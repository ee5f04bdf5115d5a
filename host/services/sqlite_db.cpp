#include "host/services/sqlite_db.h"

#include "host/services/exceptions.h"

namespace tavik {

namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    if (db && (sqlite3_errcode(db) == SQLITE_BUSY || sqlite3_errcode(db) == SQLITE_LOCKED))
        throw EOlvex("Die Olvex-Datenbank ist durch ein anderes Programm gesperrt (" + what + "): " +
                     sqlite3_errmsg(db) + ". Bitte später erneut versuchen.");
    throw EOlvex("Die Olvex-Datenbank meldet einen Fehler (" + what + "): " +
                 (db ? sqlite3_errmsg(db) : "keine Verbindung") +
                 ". Bitte prüfen, ob die Datenbank vollständig und lesbar ist.");
}

}  // namespace

TSqliteStatement::TSqliteStatement(sqlite3* db, const std::string& sql) : FDb(db) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
        Fail(db, "Abfrage vorbereiten");
    FStatement.reset(statement);
}

TSqliteStatement& TSqliteStatement::Bind(int index, const std::string& value) {
    if (sqlite3_bind_text(FStatement.get(), index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        Fail(FDb, "Wert binden");
    return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(FStatement.get(), index, value) != SQLITE_OK) Fail(FDb, "Wert binden");
    return *this;
}

TSqliteStatement& TSqliteStatement::BindNull(int index) {
    if (sqlite3_bind_null(FStatement.get(), index) != SQLITE_OK) Fail(FDb, "Wert binden");
    return *this;
}

bool TSqliteStatement::Step() {
    const int rc = sqlite3_step(FStatement.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const std::string message = sqlite3_errmsg(FDb);
    sqlite3_reset(FStatement.get());
    throw EOlvex("Die Olvex-Datenbank meldet einen Fehler beim Lesen: " + message +
                 ". Ist sie durch ein anderes Programm gesperrt, bitte später erneut versuchen.");
}

void TSqliteStatement::Reset() {
    sqlite3_reset(FStatement.get());
    sqlite3_clear_bindings(FStatement.get());
}

std::optional<std::string> TSqliteStatement::Text(int column) const {
    if (sqlite3_column_type(FStatement.get(), column) == SQLITE_NULL) return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(FStatement.get(), column));
    return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(FStatement.get(), column)));
}

std::int64_t TSqliteStatement::Int(int column) const { return sqlite3_column_int64(FStatement.get(), column); }

TSqliteDb::TSqliteDb(const std::string& path, Mode mode) : FPath(path) {
    sqlite3* db = nullptr;
    const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    FDb.reset(db);
    if (rc != SQLITE_OK) Fail(db, "öffnen " + path);
    // Another program may be writing; wait a while instead of failing at once.
    sqlite3_busy_timeout(db, 10000);
}

void TSqliteDb::Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(FDb.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unbekannt";
        sqlite3_free(error);
        throw EOlvex("Die Olvex-Datenbank meldet einen Fehler: " + message);
    }
}

}  // namespace tavik
