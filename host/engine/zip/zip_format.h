#pragma once
// Format 0: ZIP archives on libzip, split sets included for reading.
#include <sys/stat.h>
#include <zip.h>

#include <set>
#include <string>
#include <vector>

#include "host/engine/archiv_command.h"
#include "host/engine/zip/zip_entry.h"

namespace tavik {

class TExtractTarget;
struct TEntryReadAhead;
struct TPackPlan;
struct TPackedResult;
class TZipEntryReader;
struct TEntryReadLimits;

class TZipArchiv : public TArchivCommandBase {
public:
    TArchivFormat Format() const override { return TArchivFormat::Zip; }

    bool ExecuteArchivList() override;
    bool ExecuteArchivListEach(const TListEntryEvent& each) override;
    bool ExecuteArchivVerify(TArchivVerifyMode mode) override;
    bool RecognisedAtAGlance() const override;
    bool ExecuteArchivExtract() override;
    bool ExecuteArchivExtract(const std::vector<int>& indexes) override;
    bool ExecuteFilesAdd(bool addToExisting) override;
    bool Span(const std::string& archive, const std::string& targetDir, std::int64_t size) override;
    bool Merge(const std::string& archive, const std::string& targetDir) override;

private:
    void Extract(const std::vector<int>* indexes);
    // ahead: the entry as read ahead, or nullptr; position: its place among the entries extracted.
    void ExtractEntry(TZipEntryReader& reader, const TEntryReadAhead* ahead, const TZipEntry& entry,
                      TExtractTarget& target, std::size_t position, std::int64_t& done, std::int64_t total);
    // Reads an entry to its end, size and CRC checked, or takes its data from ahead where it was
    // read ahead. Throws EOlvex on damage.
    void ReadEntryData(TZipEntryReader& reader, const TZipEntry& entry, TFileInfoItem& item, std::int64_t& done,
                       std::int64_t total, const std::function<void(const char*, std::size_t)>& sink,
                       const TEntryReadAhead* ahead = nullptr);
    void AddFiles(bool addToExisting);
    // Writes the plan's entries as a new archive in place of file (target: the file there, whose
    // permissions the archive takes over), with the comment given or, when sealed, a seal. A file
    // that cannot be read is reported and its entry taken back; its index goes into skipped.
    // results: what became of each file packed, at fileOf[entry index].
    void WriteNewArchive(const std::string& file, const struct stat* target, const TPackPlan& plan, bool sealed,
                         const std::string& comment, const TSha256Digest& journalHead, std::set<std::size_t>& skipped,
                         std::vector<std::size_t>& fileOf, std::vector<TPackedResult>& results);
    void RegisterAbort(zip_t* archive);
    // What a decoder may take: the defaults, or none with NoLimits.
    TEntryReadLimits ReadLimits() const;
    // Before the first encrypted entry of a command is read: the password, asked if need be.
    void PreparePassword(TZipEntryReader& reader, const TZipEntry& entry);

    bool FPasswordAsked = false;
};

}  // namespace tavik
