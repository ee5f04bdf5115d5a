#pragma once
// TDirExplorer walks a directory tree and reports its regular files, and on request its
// directories, through two events. It never follows a symbolic link and never reports a link,
// pipe, socket or device. Within a directory the entries come in byte order of their names; a
// subdirectory is walked at its place in that order, before the entries after it.
//
// A directory that cannot be opened or read is reported to OnFailure, or without a handler to
// the error service (TavikInfo().RegisterException with the context "TDirExplorer.Execute"), and
// the walk goes on with the rest of the tree, unless StopOnError is set. Directories more than
// MaxLevel levels below StartDir are not walked. An exception thrown by an event handler ends
// the walk and leaves Execute.
#include <sys/stat.h>

#include <functional>
#include <string>

#include "host/services/search_rec.h"

namespace tavik {

class TDirExplorer {
public:
    // rec describes the entry; dir is the absolute directory it lies in, without a trailing '/'
    // ("/" for entries of the root); level is 0 for entries directly in StartDir. Setting
    // continueWalk to false ends the walk after the handler returns.
    using TEntryEvent = std::function<void(TDirExplorer& sender, const TSearchRec& rec, const std::string& dir,
                                           int level, bool& continueWalk)>;

    // Where the walk starts; a relative path is taken from the current directory. The start
    // directory itself must not be a symbolic link either, unless FollowStartLink is set.
    std::string StartDir;
    // Follow StartDir when it is a symbolic link, as find -H does: the entries are reported below
    // StartDir as it is written, and no link below it is ever followed.
    bool FollowStartLink = false;
    bool ReportDirectories = false;  // also call OnDirectoryFound for each directory, before walking it
    bool TopLevelOnly = false;       // report the entries of StartDir only, no subdirectories
    bool SkipHidden = false;         // leave out entries whose names start with '.', and their contents
    bool StopOnError = false;        // end the walk at the first directory that cannot be read
    // A directory below StartDir, written as the walk reports its paths (StartDir joined with the
    // names below it), that is neither reported nor walked. Empty: none.
    std::string SkipDirectory;

    // What could not be walked. Open: the directory path cannot be opened (error is errno).
    // Read: its listing failed part way (errno); what was read of it is still reported. Status:
    // the entry path cannot be looked up (errno); it is not reported. TooDeep: the directory path
    // lies deeper than MaxLevel (error 0); nothing below it is reported. An entry that has
    // vanished since its directory was read is no failure.
    enum class TWalkFailure { Open, Read, Status, TooDeep };
    using TFailureEvent =
        std::function<void(TDirExplorer& sender, TWalkFailure failure, const std::string& path, int error)>;

    static constexpr int MaxLevel = 1000;  // each level walked holds a descriptor and a stack frame

    TEntryEvent OnFileFound;
    TEntryEvent OnDirectoryFound;
    TFailureEvent OnFailure;  // none: failures go to the error service, in German

    // Walks from StartDir on the calling thread and returns when the walk is done.
    void Execute();

    // The status (lstat) of the entry being reported, inside OnFileFound and OnDirectoryFound.
    const struct stat& EntryStatus() const { return *FEntryStatus; }

private:
    class TWalk;
    const struct stat* FEntryStatus = nullptr;
};

}  // namespace tavik
