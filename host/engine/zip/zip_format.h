#pragma once
// Format 0: ZIP archives on libzip, split sets included for reading.
#include <zip.h>

#include "host/engine/archiv_command.h"
#include "host/engine/zip/zip_entry.h"

namespace tavik {

class TExtractTarget;
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
    void ExtractEntry(TZipEntryReader& reader, const TZipEntry& entry, TExtractTarget& target, std::int64_t& done,
                      std::int64_t total);
    // Reads an entry to its end, size and CRC checked. Throws EOlvex on damage.
    void ReadEntryData(TZipEntryReader& reader, const TZipEntry& entry, TFileInfoItem& item, std::int64_t& done,
                       std::int64_t total, const std::function<void(const char*, std::size_t)>& sink);
    void AddFiles(bool addToExisting);
    void RegisterAbort(zip_t* archive);
    // What a decoder may take: the defaults, or none with NoLimits.
    TEntryReadLimits ReadLimits() const;
    // Before the first encrypted entry of a command is read: the password, asked if need be.
    void PreparePassword(TZipEntryReader& reader, const TZipEntry& entry);

    bool FPasswordAsked = false;
};

}  // namespace tavik
