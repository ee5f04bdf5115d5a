#pragma once
// Format 1: every other archive format that libarchive reads (tar with its compressed forms,
// 7z, cpio, iso, ...), read only. Formats are enabled one by one: the "raw" and "mtree"
// readers would take almost any file for an archive.
#include "host/engine/archiv_command.h"

struct archive;
struct archive_entry;

namespace tavik {

class TExtractTarget;

class TOtherArchiv : public TArchivCommandBase {
public:
    TArchivFormat Format() const override { return TArchivFormat::Other; }

    bool ExecuteArchivList() override;
    bool ExecuteArchivVerify(TArchivVerifyMode mode) override;
    bool ExecuteArchivExtract() override;
    bool ExecuteArchivExtract(const std::vector<int>& indexes) override;
    bool ExecuteFilesAdd(bool addToExisting) override;
    bool Span(const std::string& archive, const std::string& targetDir, std::int64_t size) override;
    bool Merge(const std::string& archive, const std::string& targetDir) override;

private:
    // Reads every header; fills FArchivItems. Throws EOlvex.
    void ReadDirectory();
    // The total of uncompressed bytes, from the list when it belongs to this file.
    std::int64_t KnownTotal();
    void ReadAll(bool extract, const std::vector<int>* indexes);
    void ExtractEntry(archive* reader, archive_entry* entry, TFileInfoItem& item, TExtractTarget& target,
                      std::int64_t& done, std::int64_t total);
    void ReadData(archive* reader, TFileInfoItem& item, std::int64_t& done, std::int64_t total,
                  const std::function<std::string(std::int64_t, const void*, std::size_t)>& sink);
    [[noreturn]] void RefuseWriting() const;

    std::string FListedFile;
};

}  // namespace tavik
