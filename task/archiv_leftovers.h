#pragma once
// What an archive run that was killed halfway leaves in ARCHIV: its unfinished archive under the
// temporary name of a safe write (TSafeWrite) for one of the run's archive names. Such a file is
// never a complete archive and no run will finish it.
#include <string>

namespace vendrask {

// True for the temporary name of an archive run's archive (not of any other program's file).
bool IsArchivRunLeftover(const std::string& name);

// Removes the leftovers directly in archivDir, never following a link; returns how many went.
// Only while TArchivDirLock is held: then no run is writing one of them.
int RemoveArchivRunLeftovers(const std::string& archivDir);

}  // namespace vendrask
