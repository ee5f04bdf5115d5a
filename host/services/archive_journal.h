#pragma once
// The journal of ARCHIV: an append-only, hash-chained record of what vendrask archived, checked,
// restored and deleted there, so that years later it can be shown what happened when, unchanged.
//
// It is an SQLite database, ARCHIV/.vendrask/journal.sqlite, with one table `record`. Triggers
// refuse UPDATE and DELETE; whoever drops them can change rows, but not without breaking the
// chain: each record holds the hash of the one before it (prev) and its own hash over prev and
// all its fields (layout at RecordHash). Cutting records off the end leaves a sound chain; that
// shows only against a head kept elsewhere (an archive's comment, a run's summary): Knows().
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/services/sqlite_db.h"

namespace tavik {

// The kinds of records, exactly as stored.
namespace journalkind {
inline constexpr const char* ArchivGeschrieben = "archiv-geschrieben";      // a new archive is complete
inline constexpr const char* GeloeschtArchivlauf = "geloescht-archivlauf";  // a packed file is deleted
inline constexpr const char* GeloeschtRegel = "geloescht-regel";            // a file deleted by a rule
inline constexpr const char* Geprueft = "geprueft";                          // an archive was read back
inline constexpr const char* Wiederhergestellt = "wiederhergestellt";        // an entry restored in place
inline constexpr const char* Entpackt = "entpackt";                          // an entry extracted
inline constexpr const char* Abgelehnt = "abgelehnt";                        // refused or not done, and why
inline constexpr const char* Aufbewahrung = "aufbewahrung";                  // the retention periods' file as now
inline constexpr const char* SperreAn = "sperre-an";                          // a deletion hold is set, and why
inline constexpr const char* SperreAus = "sperre-aus";                        // the deletion hold is lifted
inline constexpr const char* Exportiert = "exportiert";                      // a year's records exported as a bag
}  // namespace journalkind

struct TJournalRecord {
    // Set by Append: the position from 1, the moment (UTC, "2026-12-09T12:26:00Z"), the chain.
    std::int64_t Seq = 0;
    std::string Time;
    std::string Kind;
    std::string Archive;  // file name of the archive in ARCHIV
    std::string Entry;    // entry name in that archive
    std::string Path;     // absolute path of the file concerned (deleted, restored, extracted to)
    std::optional<std::int64_t> Size;  // bytes of that file, or of the archive file
    std::string Mtime;    // its modification time (UTC, as Time)
    std::string Sha256;   // its SHA-256, 64 hex digits; empty when not known
    std::optional<std::int64_t> Entries;  // entries written or confirmed
    std::string Result;   // the outcome in a word or two: "fehlerfrei", "fehlerhaft", ...
    std::string Detail;   // German: the rule, the reason, what was found
    std::string Prev;
    std::string Hash;
};

// What Check found. FirstBad is the seq of the first record that is wrong or missing (0 when
// the journal could not be read at all); Reason says what, in German.
struct TJournalCheck {
    bool Ok = false;
    std::int64_t Records = 0;  // records read in order before the first fault (all, when Ok)
    std::string Head;          // hash of the last sound record
    std::int64_t FirstBad = 0;
    std::string Reason;
};

class TArchiveJournal {
public:
    enum class TMode { Write, Read };

    // ARCHIV/.vendrask/journal.sqlite
    static std::string PathIn(const std::string& archivDir);
    // The hash before the first record.
    static const std::string& EmptyHead();
    // hex SHA-256 over the record's prev and fields, as RecordHash in archive_journal.cpp lays them out.
    static std::string HashOf(const TJournalRecord& record);
    // The moment t as stored in Time and Mtime.
    static std::string UtcText(std::int64_t utcSeconds);

    // Write: opens the journal, creating the folder (0750) and the database when missing.
    // Throws EOlvex of kind NoRights when it cannot be written, naming the path and what to do.
    // Read: opens an existing journal only; throws EOlvex of kind InputMissing when there is none.
    explicit TArchiveJournal(const std::string& archivDir, TMode mode = TMode::Write);

    const std::string& Path() const { return FPath; }
    // Hash of the last record; EmptyHead() for an empty journal.
    std::string Head() const;
    std::int64_t Count() const;
    // Appends the records in one transaction, in their order, filling Seq, Time (when empty),
    // Prev and Hash; returns the new head. Throws EOlvex when nothing could be appended.
    std::string Append(const std::vector<TJournalRecord>& records);
    // Walks the whole chain: seq from 1 without gaps, each prev the hash before it, each hash
    // recomputed from its fields.
    TJournalCheck Check() const;
    // The records with from <= Time < to (UTC texts as UtcText gives), in order.
    std::vector<TJournalRecord> Read(const std::optional<std::string>& from = std::nullopt,
                                     const std::optional<std::string>& to = std::nullopt) const;
    // The records of archives written, verified and deleted by a rule, in order.
    std::vector<TJournalRecord> ReadArchiveHistory() const;
    // The last record of one of the kinds, nothing when there is none.
    std::optional<TJournalRecord> Last(const std::vector<std::string>& kinds) const;
    // Whether hash is the hash of a record (or the empty head): an anchor kept elsewhere is
    // still part of the chain.
    bool Knows(const std::string& hash) const;

private:
    [[noreturn]] void Fail(const std::string& what) const;
    // Rolls back an append that a killed run left unfinished, so that the journal can be read;
    // throws when this process may not write it and so cannot tell.
    void RollBackCutOffAppend(const std::string& folder) const;
    std::string FPath;
    TMode FMode;
    std::optional<TSqliteDb> FDb;
};

}  // namespace tavik
