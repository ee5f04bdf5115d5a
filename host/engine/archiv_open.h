#pragma once
// Opening an archive by its name as the program does: a name ending in ".zip" (any case)
// is taken as ZIP without looking at the file; any other file must be recognised at a glance
// by format 0 or pass its simple check, else the same of format 1, or be recognised by one of
// them as its damaged archive.
#include <memory>
#include <string>

#include "host/engine/archiv_format.h"

namespace tavik {

bool HasZipExtension(const std::string& name);

// Why no format accepted a file.
struct TArchivRefusal {
    // The reason of the first format that took the file for one of its archives but could not
    // read it (LastRecognised); empty when none did, that is when the file is no archive.
    std::string Reason;
    // What each format found, one reason after the other.
    std::string Found;
};

// Adds what a format's failed simple check found.
void NoteRefusal(const TArchivFormatAbstract& trial, TArchivRefusal& refusal);

// The engine object for the file, or none when neither format accepts it; then refusal, when
// given, says why. A file that a format took for its own but found damaged, or could not check
// within its protective limits, is opened with that format when no format reads it: its
// commands then fail with their reason, and extraction rescues what can be read. onProgress is
// the OnCommandProgress of each check while it runs (a hostile file of format 1 takes seconds
// until the reading helper's limits stop it); the object returned has no events set. noLimits
// is set on each trial and on the object returned (NoLimits).
std::unique_ptr<TArchivFormatAbstract> OpenArchiv(const std::string& name, TArchivRefusal* refusal = nullptr,
                                                  const TCommandProgressEvent& onProgress = {},
                                                  bool noLimits = false);

}  // namespace tavik
