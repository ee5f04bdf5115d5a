#pragma once
// What an archive run that was killed halfway leaves in ARCHIV: its unfinished archive under a
// temporary name beside the final one (".SK261207.001.vrtmp-XXXXXX", and libzip's own
// ".SK261207.001.vrtmp-XXXXXX.XXXXXX" while it closes the archive). Such a file is never a
// complete archive and no run will finish it.
#include <string>

namespace vendrask {

// True for the temporary name of an archive run's archive (not of any other program's file).
bool IsArchivRunLeftover(const std::string& name);

// Removes the leftovers directly in archivDir, never following a link; returns how many went.
// Only while TArchivDirLock is held: then no run is writing one of them.
int RemoveArchivRunLeftovers(const std::string& archivDir);

}  // namespace vendrask
