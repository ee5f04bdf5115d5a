#pragma once
// Putting archived entries back: each to the place its name has in the installation (below
// the host directory outside the root that the name's first part names, else below the root),
// or below a directory the user chose. The engine's extraction does the writing, so its rules
// hold: nothing outside the target, a different file only replaced when the conflict question
// allows it, an identical one left alone, each file written atomically with its time.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "host/engine/archiv_format.h"

namespace tavik {

class TTavikFSNames;

struct TRestorePlace {
    std::string directory;  // absolute; what the extraction writes below
    std::size_t strip = 0;  // leading parts of the entry name that directory stands for
    std::string path;       // where the entry lands
    std::string base;       // directory is reached from here without a symbolic link; empty: as given
};

// The place of entryName in the installation of names. Throws EOlvex with the German reason when
// the name must not be restored there: a name extraction refuses, a name on the database, a
// name that lies in none of the host directories, or a host directory that is not there.
// madeOnUnix: the name is a Unix file name (TFileInfoItem::MadeOnUnix).
TRestorePlace OriginalRestorePlace(const TTavikFSNames& names, const std::string& entryName, bool madeOnUnix = false);
// The place of entryName below directory. Throws EOlvex for a name extraction refuses.
TRestorePlace ChosenRestorePlace(const std::string& directory, const std::string& entryName, bool madeOnUnix = false);

// The entry's name as the listing gives it ("a/b/c.txt", a directory with a trailing '/').
std::string ListedEntryName(const TFileInfoItem& item);

// What identifies the place where entryName lands: with names, its path in the installation
// (host directory names are case-insensitive, so "EXT/a.dat" and "ext/a.dat" are one place);
// without, the name. Entries with one key are versions of one file.
std::string RestorePlaceKey(const TTavikFSNames* names, const std::string& entryName, bool madeOnUnix = false);

// Pairs of indexes whose entries land in one place (RestorePlaceKey): restored together, one
// version would silently take the other's place.
std::vector<std::pair<int, int>> SameNameEntries(const TArchivFormatAbstract& archiv, const std::vector<int>& indexes,
                                                 const TTavikFSNames* names = nullptr);

struct TRestoreRefusal {
    std::string name;
    std::string reason;  // German
};

struct TRestoreResult {
    std::vector<TRestoreRefusal> refused;  // left out before anything was written
    bool extracted = true;                 // every extraction that ran succeeded
    bool aborted = false;
    std::string error;                     // the first failed extraction's LastError
    std::size_t restored = 0;              // entries handed to an extraction that succeeded
};

// Restores the entries at indexes of archiv, which must have been listed. names null: below
// chosen; else their original places. Refused entries are left out and named in the result; the
// others go through one extraction per target directory with archiv's events (progress,
// OnError, OnConflict); an "all" answer to a conflict holds for the whole restore. Throws
// EOlvex for an index the listing does not have, before anything is written.
TRestoreResult RestoreEntries(TArchivFormatAbstract& archiv, const std::vector<int>& indexes,
                              const TTavikFSNames* names, const std::string& chosen);

}  // namespace tavik
