#include "host/services/archive_journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <unordered_set>

#include "host/services/exceptions.h"
#include "host/services/paths.h"
#include "host/services/sha256.h"
#include "host/services/system_error.h"
#include "host/services/vendrask_folder.h"

namespace tavik {

namespace {

constexpr const char* kFileName = "journal.sqlite";

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS record ("
    " seq INTEGER PRIMARY KEY CHECK (seq >= 1),"
    " time TEXT NOT NULL, kind TEXT NOT NULL,"
    " archive TEXT NOT NULL DEFAULT '', entry TEXT NOT NULL DEFAULT '', path TEXT NOT NULL DEFAULT '',"
    " size INTEGER, mtime TEXT NOT NULL DEFAULT '', sha256 TEXT NOT NULL DEFAULT '', entries INTEGER,"
    " result TEXT NOT NULL DEFAULT '', detail TEXT NOT NULL DEFAULT '',"
    " prev TEXT NOT NULL, hash TEXT NOT NULL UNIQUE);"
    "CREATE TRIGGER IF NOT EXISTS record_no_update BEFORE UPDATE ON record"
    " BEGIN SELECT RAISE(ABORT, 'Das Journal wird nur ergänzt, nie geändert.'); END;"
    "CREATE TRIGGER IF NOT EXISTS record_no_delete BEFORE DELETE ON record"
    " BEGIN SELECT RAISE(ABORT, 'Aus dem Journal wird nie etwas gelöscht.'); END;"
    // Anchors are looked up by hash (the index that UNIQUE makes), an archive's history by its
    // kind of record. Journals written before keep a second index on hash: a journal is only
    // ever appended to.
    "CREATE INDEX IF NOT EXISTS record_kind ON record(kind);";

constexpr const char* kColumns =
    "seq, time, kind, archive, entry, path, size, mtime, sha256, entries, result, detail, prev, hash";

std::optional<std::int64_t> OptionalInt(const TSqliteStatement& statement, int column) {
    const std::optional<std::string> text = statement.Text(column);
    if (!text) return std::nullopt;
    return statement.Int(column);
}

TJournalRecord RecordOf(const TSqliteStatement& row) {
    TJournalRecord record;
    record.Seq = row.Int(0);
    record.Time = row.Text(1).value_or("");
    record.Kind = row.Text(2).value_or("");
    record.Archive = row.Text(3).value_or("");
    record.Entry = row.Text(4).value_or("");
    record.Path = row.Text(5).value_or("");
    record.Size = OptionalInt(row, 6);
    record.Mtime = row.Text(7).value_or("");
    record.Sha256 = row.Text(8).value_or("");
    record.Entries = OptionalInt(row, 9);
    record.Result = row.Text(10).value_or("");
    record.Detail = row.Text(11).value_or("");
    record.Prev = row.Text(12).value_or("");
    record.Hash = row.Text(13).value_or("");
    return record;
}

void AddField(std::string& out, std::string_view field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
    out += ',';
}

std::string NumberText(const std::optional<std::int64_t>& value) { return value ? std::to_string(*value) : std::string(); }

// The bytes a record's hash is taken over. Every field is a netstring: its length in bytes as
// decimal digits, ':', the bytes, ','. First the layout's name "vendrask-journal-1", then prev,
// seq, time, kind, archive, entry, path, size, mtime, sha256, entries, result, detail. Numbers
// are decimal digits (a '-' before a negative one); an absent number is no bytes ("0:,"), which no
// number gives. Texts are their UTF-8 bytes as stored. So no two different records share the
// bytes, and anyone can recompute a hash from the table with a few lines of any language.
std::string RecordBytes(const TJournalRecord& record) {
    std::string out;
    AddField(out, "vendrask-journal-1");
    AddField(out, record.Prev);
    AddField(out, std::to_string(record.Seq));
    AddField(out, record.Time);
    AddField(out, record.Kind);
    AddField(out, record.Archive);
    AddField(out, record.Entry);
    AddField(out, record.Path);
    AddField(out, NumberText(record.Size));
    AddField(out, record.Mtime);
    AddField(out, record.Sha256);
    AddField(out, NumberText(record.Entries));
    AddField(out, record.Result);
    AddField(out, record.Detail);
    return out;
}

TErrorKind KindOfSqlite(sqlite3* db) {
    switch (sqlite3_extended_errcode(db) & 0xff) {
        case SQLITE_READONLY:
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
        case SQLITE_AUTH: return TErrorKind::NoRights;
        case SQLITE_FULL: return TErrorKind::DiskFull;
        // A write refused for lack of room (a full disk, a quota, a size limit) shows as an I/O
        // error. SQLite keeps the system's error of the database file only: a failed write to
        // its rollback journal comes without one, and is taken for lack of room too.
        case SQLITE_IOERR: {
            const int error = sqlite3_system_errno(db);
            if (error == 0 && sqlite3_extended_errcode(db) == SQLITE_IOERR_WRITE) return TErrorKind::DiskFull;
            return KindOfWriteError(error);
        }
        default: return TErrorKind::Other;
    }
}

// What the user can do, by the kind of the failure.
std::string AdviceFor(TErrorKind kind, const std::string& folder) {
    switch (kind) {
        case TErrorKind::NoRights:
            return " Bitte dem Benutzer, unter dem vendrask läuft, Schreibrechte auf den Ordner „" + folder +
                   "“ und die Dateien darin geben.";
        case TErrorKind::DiskFull:
            return " Im Archivverzeichnis ist nicht genug Platz für das Journal. Bitte dort Platz schaffen; der "
                   "nächste Lauf arbeitet dann.";
        default: return " Bitte prüfen, ob die Datei vollständig und lesbar ist und kein anderes Programm sie sperrt.";
    }
}

}  // namespace

std::string TArchiveJournal::PathIn(const std::string& archivDir) {
    return ConcatPathNames(VendraskFolderIn(archivDir), kFileName);
}

const std::string& TArchiveJournal::EmptyHead() {
    static const std::string zeros(64, '0');
    return zeros;
}

std::string TArchiveJournal::HashOf(const TJournalRecord& record) { return Sha256Hex(RecordBytes(record)); }

std::string TArchiveJournal::UtcText(std::int64_t utcSeconds) {
    const std::time_t value = static_cast<std::time_t>(utcSeconds);
    std::tm parts{};
    gmtime_r(&value, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

TArchiveJournal::TArchiveJournal(const std::string& archivDir, TMode mode) : FPath(PathIn(archivDir)), FMode(mode) {
    const std::string folder = VendraskFolderIn(archivDir);
    if (mode == TMode::Read) {
        struct stat status {};
        // An empty file is the journal of a run killed while it created it: nothing was recorded
        // yet, and the next run that writes completes it.
        if (::stat(FPath.c_str(), &status) != 0 || (S_ISREG(status.st_mode) && status.st_size == 0))
            throw EOlvex("Im Archivverzeichnis „" + archivDir + "“ gibt es kein Journal („" + FPath +
                             "“). Es entsteht mit dem ersten Archivierungs- oder Löschlauf.",
                         TErrorKind::InputMissing);
        RollBackCutOffAppend(folder);
        try {
            FDb.emplace(FPath, TSqliteDb::Mode::ReadOnly);
        } catch (const EOlvex&) {
            throw EOlvex("Das Journal „" + FPath + "“ kann nicht geöffnet werden." +
                             AdviceFor(TErrorKind::Other, folder),
                         TErrorKind::Other);
        }
        return;
    }
    const auto refuse = [&](const std::string& why, TErrorKind kind) {
        throw EOlvex("Das Journal „" + FPath + "“ kann nicht geschrieben werden (" + why +
                         "). Ohne Journal wird nichts archiviert; keine Datei wurde gelöscht." +
                         AdviceFor(kind, folder),
                     kind);
    };
    if (::mkdir(folder.c_str(), 0750) != 0 && errno != EEXIST) refuse(SystemErrorText(errno), KindOfWriteError(errno));
    struct stat status {};
    // A link here could put the journal anywhere; only a real folder is used.
    if (::lstat(folder.c_str(), &status) != 0) refuse(SystemErrorText(errno), KindOfWriteError(errno));
    if (!S_ISDIR(status.st_mode)) refuse("„" + folder + "“ ist kein Ordner", TErrorKind::Other);
    // SQLite opens a file it may not write for reading without a word, and needs the folder for
    // its rollback journal: both are asked before anything is promised.
    if (::access(folder.c_str(), W_OK | X_OK) != 0) refuse(SystemErrorText(errno), KindOfAccessError(errno));
    if (::access(FPath.c_str(), F_OK) == 0 && ::access(FPath.c_str(), W_OK) != 0)
        refuse(SystemErrorText(errno), KindOfAccessError(errno));
    try {
        FDb.emplace(FPath, TSqliteDb::Mode::ReadWriteCreate);
    } catch (const EOlvex&) {
        refuse("die Datenbank lässt sich nicht öffnen", TErrorKind::NoRights);
    }
    if (sqlite3_db_readonly(FDb->Handle(), "main") == 1) refuse("nur lesbar geöffnet", TErrorKind::NoRights);
    try {
        // A commit is on the disk before it returns; a crash at any moment leaves the journal as
        // it was before or after a whole append.
        // Each record goes into the hash index at a random place: with the default 2 MB of cache
        // an append of 200,000 records read and wrote the index's pages over and over.
        FDb->Exec("PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; PRAGMA cache_size=-32768;");
        FDb->Exec(std::string("BEGIN IMMEDIATE;") + kSchema + "COMMIT;");
    } catch (const EOlvex&) {
        sqlite3* db = FDb->Handle();
        const TErrorKind kind = KindOfSqlite(db);
        const std::string message = sqlite3_errmsg(db);
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        refuse(message, kind);
    }
}

void TArchiveJournal::RollBackCutOffAppend(const std::string& folder) const {
    // A run killed in the middle of an append leaves SQLite's rollback journal beside the file.
    // Until it is rolled back no read-only connection can read the journal. A connection that
    // may write rolls it back on its first read; the append that was cut off never counted.
    struct stat hot {};
    if (::stat((FPath + "-journal").c_str(), &hot) != 0 || hot.st_size == 0) return;
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(FPath.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    if (opened == SQLITE_OK) {
        sqlite3_busy_timeout(raw, 10000);
        const int read = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        // Busy: a run is appending right now; the reader waits for it as it always did.
        if (read == SQLITE_OK || (read & 0xff) == SQLITE_BUSY) return;
    }
    // Without the right to write, a run appending now and one killed while appending look alike.
    throw EOlvex("Neben dem Journal „" + FPath +
                     "“ liegt das Rückrolljournal eines Schreibvorgangs, der nicht abgeschlossen ist: ein Lauf "
                     "schreibt gerade, oder einer wurde dabei abgebrochen. Lesen lässt sich das Journal, wenn der "
                     "Lauf fertig ist oder der abgebrochene Schritt zurückgenommen wurde; das tut der nächste "
                     "Archivierungs- oder Löschlauf, oder dieser Befehl unter einem Benutzer mit Schreibrechten auf "
                     "den Ordner „" + folder + "“.",
                 TErrorKind::NoRights);
}

void TArchiveJournal::Fail(const std::string& what) const {
    sqlite3* db = FDb ? FDb->Handle() : nullptr;
    const TErrorKind kind = db ? KindOfSqlite(db) : TErrorKind::Other;
    const std::string message = db ? sqlite3_errmsg(db) : "keine Verbindung";
    if (db && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    // Runs delete only what the journal holds: a failed write stops them before the next file.
    const std::string consequence =
        FMode == TMode::Write ? " Was nicht im Journal steht, wird nicht gelöscht; keine weitere Datei wurde gelöscht." : "";
    throw EOlvex("Das Journal „" + FPath + "“ kann nicht " + what + " werden: " + message + "." + consequence +
                     AdviceFor(kind, ExtractFileDir(FPath)),
                 kind);
}

std::string TArchiveJournal::Head() const {
    try {
        TSqliteStatement last(FDb->Handle(), "SELECT hash FROM record ORDER BY seq DESC LIMIT 1");
        return last.Step() ? last.Text(0).value_or("") : EmptyHead();
    } catch (const EOlvex&) {
        Fail("gelesen");
    }
}

std::int64_t TArchiveJournal::Count() const {
    try {
        TSqliteStatement count(FDb->Handle(), "SELECT count(*) FROM record");
        return count.Step() ? count.Int(0) : 0;
    } catch (const EOlvex&) {
        Fail("gelesen");
    }
}

std::string TArchiveJournal::Append(const std::vector<TJournalRecord>& records) {
    if (FMode != TMode::Write) throw EOlvex("Das Journal „" + FPath + "“ ist nur zum Lesen geöffnet.");
    if (records.empty()) return Head();
    sqlite3* db = FDb->Handle();
    try {
        // IMMEDIATE: another writer waits here, not between reading the head and appending to it.
        FDb->Exec("BEGIN IMMEDIATE");
        std::int64_t seq = 0;
        std::string prev = EmptyHead();
        {
            TSqliteStatement last(db, "SELECT seq, hash FROM record ORDER BY seq DESC LIMIT 1");
            if (last.Step()) {
                seq = last.Int(0);
                prev = last.Text(1).value_or("");
            }
        }
        TSqliteStatement insert(db, std::string("INSERT INTO record (") + kColumns +
                                        ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
        const std::string now = UtcText(std::time(nullptr));
        for (TJournalRecord record : records) {
            record.Seq = ++seq;
            if (record.Time.empty()) record.Time = now;
            record.Prev = prev;
            record.Hash = HashOf(record);
            insert.Reset();
            insert.Bind(1, record.Seq).Bind(2, record.Time).Bind(3, record.Kind).Bind(4, record.Archive);
            insert.Bind(5, record.Entry).Bind(6, record.Path);
            if (record.Size) insert.Bind(7, *record.Size); else insert.BindNull(7);
            insert.Bind(8, record.Mtime).Bind(9, record.Sha256);
            if (record.Entries) insert.Bind(10, *record.Entries); else insert.BindNull(10);
            insert.Bind(11, record.Result).Bind(12, record.Detail).Bind(13, record.Prev).Bind(14, record.Hash);
            insert.Step();
            prev = record.Hash;
        }
        FDb->Exec("COMMIT");
        return prev;
    } catch (const EOlvex&) {
        // Fail takes SQLite's message before it rolls back.
        Fail("ergänzt");
    } catch (...) {
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

TJournalCheck TArchiveJournal::Check() const {
    TJournalCheck check;
    check.Head = EmptyHead();
    try {
        std::unordered_set<std::string> hashes;
        {
            TSqliteStatement all(FDb->Handle(), "SELECT hash FROM record");
            while (all.Step()) hashes.insert(all.Text(0).value_or(""));
        }
        TSqliteStatement rows(FDb->Handle(), std::string("SELECT ") + kColumns + " FROM record ORDER BY seq");
        std::int64_t expected = 1;
        const auto bad = [&](std::int64_t seq, std::string reason) {
            check.FirstBad = seq;
            check.Reason = std::move(reason);
            return check;
        };
        while (rows.Step()) {
            const TJournalRecord record = RecordOf(rows);
            const std::string number = std::to_string(expected);
            if (record.Seq != expected) return bad(expected, "Eintrag " + number + " fehlt.");
            const bool sound = HashOf(record) == record.Hash;
            if (record.Prev != check.Head) {
                // It names another record of the journal: it has been moved away from its place.
                if (record.Prev != EmptyHead() && hashes.count(record.Prev) != 0)
                    return bad(expected, "Die Reihenfolge ab Eintrag " + number + " stimmt nicht.");
                // Sound in itself, it follows a record that is no longer what it was.
                if (sound && expected > 1)
                    return bad(expected - 1, "Eintrag " + std::to_string(expected - 1) + " wurde verändert.");
                return bad(expected, "Eintrag " + number + " wurde verändert.");
            }
            if (!sound) return bad(expected, "Eintrag " + number + " wurde verändert.");
            check.Head = record.Hash;
            check.Records = expected;
            ++expected;
        }
    } catch (const EOlvex&) {
        check.FirstBad = 0;
        check.Reason = "Das Journal kann nicht vollständig gelesen werden (" +
                       std::string(sqlite3_errmsg(FDb->Handle())) + "); es ist beschädigt oder gekürzt.";
        return check;
    }
    check.Ok = true;
    return check;
}

std::vector<TJournalRecord> TArchiveJournal::Read(const std::optional<std::string>& from,
                                                  const std::optional<std::string>& to) const {
    std::vector<TJournalRecord> records;
    try {
        TSqliteStatement rows(FDb->Handle(), std::string("SELECT ") + kColumns +
                                                 " FROM record WHERE (?1 IS NULL OR time >= ?1) AND"
                                                 " (?2 IS NULL OR time < ?2) ORDER BY seq");
        if (from) rows.Bind(1, *from); else rows.BindNull(1);
        if (to) rows.Bind(2, *to); else rows.BindNull(2);
        while (rows.Step()) records.push_back(RecordOf(rows));
    } catch (const EOlvex&) {
        Fail("gelesen");
    }
    return records;
}

std::vector<TJournalRecord> TArchiveJournal::ReadArchiveHistory() const {
    std::vector<TJournalRecord> records;
    try {
        TSqliteStatement rows(FDb->Handle(), std::string("SELECT ") + kColumns +
                                                 " FROM record WHERE kind IN (?1, ?2, ?3) ORDER BY seq");
        rows.Bind(1, std::string(journalkind::ArchivGeschrieben));
        rows.Bind(2, std::string(journalkind::Geprueft));
        rows.Bind(3, std::string(journalkind::GeloeschtRegel));
        while (rows.Step()) records.push_back(RecordOf(rows));
    } catch (const EOlvex&) {
        Fail("gelesen");
    }
    return records;
}

std::optional<TJournalRecord> TArchiveJournal::Last(const std::vector<std::string>& kinds) const {
    if (kinds.empty()) return std::nullopt;
    std::string places;
    for (std::size_t i = 0; i < kinds.size(); ++i) places += (i == 0 ? "?" : ", ?") + std::to_string(i + 1);
    try {
        TSqliteStatement rows(FDb->Handle(), std::string("SELECT ") + kColumns + " FROM record WHERE kind IN (" +
                                                 places + ") ORDER BY seq DESC LIMIT 1");
        for (std::size_t i = 0; i < kinds.size(); ++i) rows.Bind(static_cast<int>(i + 1), kinds[i]);
        if (rows.Step()) return RecordOf(rows);
    } catch (const EOlvex&) {
        Fail("gelesen");
    }
    return std::nullopt;
}

bool TArchiveJournal::Knows(const std::string& hash) const {
    if (hash == EmptyHead()) return true;
    try {
        TSqliteStatement found(FDb->Handle(), "SELECT 1 FROM record WHERE hash = ?1 LIMIT 1");
        found.Bind(1, hash);
        return found.Step();
    } catch (const EOlvex&) {
        Fail("gelesen");
    }
}

}  // namespace tavik
