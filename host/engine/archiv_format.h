#pragma once
// The archive engine: one object per archive file. Commands run synchronously on the
// calling thread and report through the events below, also on the calling thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/services/date_time.h"
#include "host/services/error_kind.h"
#include "host/services/search_rec.h"  // the attribute bits fa...
#include "host/services/sha256.h"

namespace tavik {

enum class TArchivFormat : std::uint8_t { Zip = 0, Other = 1 };

enum class TArchivCommand : std::uint8_t { None, List, Verify, Extract, Add, Span, Merge };

enum class TArchivVerifyMode : std::uint8_t {
    Simple = 0,    // structure: central directory and local headers agree
    Complete = 1,  // additionally every entry read to its end, size and CRC checked
};

// Kinds of OnError. Item means one item could not be processed; a handler that sets the flag
// to true lets the command skip it and go on, otherwise the command stops.
enum class TArchivErrorKind : std::uint8_t { Command = 0, Warning = 1, Item = 2 };

// The reason of an entry refused because a different file of its name is already there.
inline constexpr const char* kArchivConflictRefused =
    "Im Zielverzeichnis gibt es bereits eine andere Datei dieses Namens; sie wird nicht überschrieben.";

// Answers to OnConflict.
enum class TArchivConflictAnswer : std::uint8_t { Yes, No, YesAll, NoAll };

struct TFileInfoItem {
    std::string FileName;  // bare name (last component)
    std::string AbsDir;    // absolute directory that holds the file on disk (packing)
    std::string RelDir;    // directory inside the archive, '/'-separated, no leading or trailing '/'
    std::int64_t Size = 0;
    TDateTime DateTime{};  // zero: take the time from the file
    std::uint32_t Attributes = 0;
    // Set by ExecuteFilesAdd for what it packed: the entry's name as written, and the CRC-32 of
    // the bytes read from the file, so that the archive can be read back against the source.
    std::string EntryName{};
    std::uint32_t Crc = 0;
    // Set with them: the SHA-256 of those bytes; none for directories. Held as bytes, not as
    // hex text: a run over many small files keeps one item for every file it packed.
    std::optional<TSha256Digest> Sha256{};
    // A listed entry whose name is a Unix file name (ZIP "made by" Unix): a backslash or a
    // control character in it is part of the name, not a separator or a fault.
    bool MadeOnUnix = false;
};
using PFileInfoItem = TFileInfoItem*;

// How a complete verification confirmed the content of the files it read.
struct TVerifyCounts {
    int BySha256 = 0;  // by the fingerprint vendrask wrote with the entry (and by its CRC-32)
    int ByCrcOnly = 0;  // by CRC-32 alone: entries without a fingerprint
    // The comment holds a seal of ours, and the entries fit it.
    bool Sealed = false;
};

// What an extraction did with the files (every entry but directories) it was to write.
struct TExtractCounts {
    int Files = 0;      // chosen and not skipped
    int Written = 0;    // put in place, new or in place of a different file as allowed
    int Identical = 0;  // already there with the same content
    int Kept = 0;       // a different file there stayed, as the user chose
    int Extracted() const { return Written + Identical; }
    int Failed() const { return Files - Extracted() - Kept; }
};

class TFileItemsList {
public:
    int GetCount() const { return static_cast<int>(FItems.size()); }
    const TFileInfoItem& GetItem(int index) const { return FItems.at(static_cast<std::size_t>(index)); }
    void Clear() { FItems.clear(); }
    void Add(TFileInfoItem item) { FItems.push_back(std::move(item)); }
    std::vector<TFileInfoItem>& Items() { return FItems; }
    const std::vector<TFileInfoItem>& Items() const { return FItems; }

private:
    std::vector<TFileInfoItem> FItems;
};

class TArchivFormatAbstract;

// One entry of a listing as it is read: its number in archive order and the item, which holds
// only while the call runs.
using TListEntryEvent = std::function<void(std::int64_t index, const TFileInfoItem& item)>;

using TCommandEndEvent = std::function<void(TArchivFormatAbstract& sender, TArchivCommand command)>;
using TCommandProgressEvent = std::function<void(TArchivFormatAbstract& sender, TArchivCommand command,
                                                 std::int64_t done, std::int64_t total)>;
using TCommandItemStartEvent =
    std::function<bool(TArchivFormatAbstract& sender, TArchivCommand command, PFileInfoItem& fileInfo)>;
using TCommandItemProgressEvent =
    std::function<void(TArchivFormatAbstract& sender, TArchivCommand command, PFileInfoItem fileInfo,
                       std::int64_t done, std::int64_t total)>;
using TErrorEvent = std::function<void(TArchivFormatAbstract& sender, TArchivCommand command, TArchivErrorKind kind,
                                       const std::string& item, const std::string& reason, bool& flag)>;
using TConflictEvent = std::function<TArchivConflictAnswer(TArchivFormatAbstract& sender, const std::string& path)>;
// Sets password and returns true, or returns false when there is none (the user cancelled).
using TPasswordEvent = std::function<bool(TArchivFormatAbstract& sender, std::string& password)>;

class TArchivFormatAbstract {
public:
    TArchivFormatAbstract() = default;
    TArchivFormatAbstract(const TArchivFormatAbstract&) = delete;
    TArchivFormatAbstract& operator=(const TArchivFormatAbstract&) = delete;
    virtual ~TArchivFormatAbstract() = default;

    std::string ArchivFile;  // the archive's path
    std::string ExtractDir;  // target of extraction
    // Leading components dropped from every entry name on extraction: with 1, "ARCHIV/a/x" is
    // written as ExtractDir/a/x. An entry with nothing left is refused.
    std::size_t ExtractStripParts = 0;
    // When set, ExtractDir is this directory or lies below it, and is reached from it one
    // component at a time without following a symbolic link: a link on the way (a host directory
    // swapped for a link to elsewhere) refuses the extraction. Restore sets it.
    std::string ExtractBase;
    // Directories whose subdirectories may not be symbolic links when packing reads a file below
    // them: a directory swapped for a link after the files were chosen leads nowhere. The
    // shortest base that holds a file applies; a file below none is only read without
    // following a link in its last component.
    std::vector<std::string> SourceBases;
    // Lifts the protective limits of reading (a decoder's memory, the reading helper's CPU time,
    // address space and reread bound, the number of entries) for an archive the user trusts.
    // Without it, a command stopped by a limit fails of kind LimitReached and names the limit.
    bool NoLimits = false;
    // The head of ARCHIV's journal when a new archive is written there (64 hex digits); the
    // archive's comment records it, so that archives and journal vouch for each other. Empty
    // elsewhere.
    std::string JournalHead;

    TCommandEndEvent OnCommandEnd;
    TCommandProgressEvent OnCommandProgress;  // uncompressed bytes of the whole command
    TCommandItemStartEvent OnCommandItemStart;  // false skips the item
    TCommandItemProgressEvent OnCommandItemProgress;  // uncompressed bytes of the current item
    TErrorEvent OnError;
    // Extraction meets a file at path (ExtractDir and the entry's name) whose content differs
    // from the entry: Yes replaces it, No keeps it and leaves the entry out; the All answers
    // hold for the rest of the command. Without a handler the entry fails (OnError, Item) and
    // the file stays. An identical file is no conflict and stays as it is.
    TConflictEvent OnConflict;
    // The password of encrypted entries (ZIP: traditional PKWARE and AES); packing never
    // encrypts. Without it, a command that needs the data of an encrypted entry asks OnPassword
    // once and keeps the answer here; with none, such entries fail as encrypted. A password
    // that proved wrong for an entry is forgotten when the command ends, so the next one asks.
    std::string Password;
    TPasswordEvent OnPassword;

    virtual TArchivFormat Format() const = 0;

    // Reads the directory of ArchivFile; on success GetArchivItemsCount/GetArchivItem give the
    // entries in archive order (directories carry faDirectory). A list that fails on damage may
    // keep the entries read (format 1 does): their positions hold for extraction, which rescues them.
    virtual bool ExecuteArchivList() = 0;
    int GetArchivItemsCount() const { return FArchivItems.GetCount(); }
    const TFileInfoItem& GetArchivItem(int index) const { return FArchivItems.GetItem(index); }
    // The same entries given to each one at a time as they are read, none kept (the items stay
    // empty), so that listing an archive of millions of entries takes little memory. A list
    // that fails on damage has given the entries read before it. A format that cannot read its
    // directory piece by piece lists as ExecuteArchivList and then gives each item.
    virtual bool ExecuteArchivListEach(const TListEntryEvent& each);

    virtual bool ExecuteArchivVerify(TArchivVerifyMode mode) = 0;

    // Whether ArchivFile shows at a glance that it is an archive of this format: what the format
    // reads first is there and holds (ZIP: the end records and the directory where they put it),
    // found in the same little time and memory whatever the archive's size. Damage beyond that
    // is left to the command that follows, which reports it as for any archive of the format.
    // false only says that a glance does not decide; a format without one always says so. It
    // is no command: no event is raised, and LastError stays as it was.
    virtual bool RecognisedAtAGlance() const { return false; }

    // All entries, or the entries at the given positions of the list, into ExtractDir.
    virtual bool ExecuteArchivExtract() = 0;
    virtual bool ExecuteArchivExtract(const std::vector<int>& indexes) = 0;

    // Items to pack. A path becomes an entry named after the file; a directory is added with
    // everything below it, named relative to the directory's parent.
    void FileItemClear() { FFileItems.Clear(); }
    void FileItemAdd(const std::string& path);
    void FileItemAdd(const TFileInfoItem& item) { FFileItems.Add(item); }

    // false: write ArchivFile anew; true: keep its entries and add (same name replaces).
    // After the command GetFileItemsList() holds exactly the items that the written archive
    // contains from this command, with Size and DateTime as they were packed.
    virtual bool ExecuteFilesAdd(bool addToExisting) = 0;
    const TFileItemsList& GetFileItemsList() const { return FFileItems; }

    // Split archive into volumes name.z01, name.z02, ..., name.zip of at most size bytes
    // (-1: automatic) in targetDir; join such volumes into targetDir/name.zip.
    virtual bool Span(const std::string& archive, const std::string& targetDir, std::int64_t size) = 0;
    virtual bool Merge(const std::string& archive, const std::string& targetDir) = 0;

    // Only while Busy(): the running command stops at its next progress step and returns false.
    void Abort() {
        if (FBusy) FAbortRequested = true;
    }
    bool Busy() const { return FBusy; }

    // The German reason of the last failure of a command; empty after success.
    const std::string& LastError() const { return FLastError; }
    // The kind of that failure (Other after success). When items failed, the kind of the first,
    // as LastError names the first.
    TErrorKind LastErrorKind() const { return FLastErrorKind; }
    // Whether the last command ended because Abort() was called.
    bool LastAborted() const { return FLastErrorKind == TErrorKind::Aborted; }
    // While OnError runs: the kind of the failure it reports.
    TErrorKind ReportedErrorKind() const { return FReportedErrorKind; }
    // After an extraction: what it did with the files it was to write.
    const TExtractCounts& LastExtractCounts() const { return FExtractCounts; }
    // A German sentence of what the last extraction wrote, when it did not write or find every
    // file ("3 von 22 Dateien entpackt; 19 vorhandene Dateien wurden wie gewünscht behalten.");
    // empty when it did.
    std::string ExtractSummary() const;
    // After a complete verification that succeeded: how the content was confirmed.
    const TVerifyCounts& LastVerifyCounts() const { return FVerifyCounts; }
    // The same as a German sentence ("12 Einträge durch SHA-256 bestätigt, 3 nur durch CRC-32.");
    // empty when no file was read.
    std::string VerifySummary() const;

    // Whether the last failed command found ArchivFile to be an archive of this format that it
    // could not read (damaged, of a method not supported, or stopped by a limit), rather than
    // something else. A format that cannot tell the two apart leaves it false.
    bool LastRecognised() const { return FLastRecognised; }

protected:
    TFileItemsList FArchivItems;
    TFileItemsList FFileItems;
    bool FBusy = false;
    std::atomic<bool> FAbortRequested{false};
    std::string FLastError;
    TErrorKind FLastErrorKind = TErrorKind::Other;
    TErrorKind FReportedErrorKind = TErrorKind::Other;
    bool FLastRecognised = false;
    TExtractCounts FExtractCounts;
    TVerifyCounts FVerifyCounts;
};

using TArchivFormatClass = std::function<std::unique_ptr<TArchivFormatAbstract>()>;

// The class of a format; an empty function when the format is not available.
TArchivFormatClass GetArchivFormatClass(TArchivFormat format);

}  // namespace tavik
