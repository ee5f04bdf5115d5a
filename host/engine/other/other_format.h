#pragma once
// Format 1: every other archive format that libarchive reads (tar with its compressed forms,
// 7z, cpio, iso, ...), read only. libarchive runs in the helper vendrask-leser under hard
// limits (leser_process.h); the policy stays here: which entries, names, what is written where,
// progress and abort.
#include <memory>
#include <optional>

#include "host/engine/archiv_command.h"
#include "host/engine/other/leser_process.h"

namespace tavik {

class TExtractTarget;
class TExtractFile;

class TOtherArchiv : public TArchivCommandBase {
public:
    // More entries than this in one archive are refused: their list alone would fill the memory.
    static constexpr int MaxEntries = 1000000;
    static constexpr std::int64_t MaxNameBytes = std::int64_t{256} * 1024 * 1024;

    TArchivFormat Format() const override { return TArchivFormat::Other; }

    bool ExecuteArchivList() override;
    bool ExecuteArchivVerify(TArchivVerifyMode mode) override;
    bool ExecuteArchivExtract() override;
    bool ExecuteArchivExtract(const std::vector<int>& indexes) override;
    bool ExecuteFilesAdd(bool addToExisting) override;
    bool Span(const std::string& archive, const std::string& targetDir, std::int64_t size) override;
    bool Merge(const std::string& archive, const std::string& targetDir) override;

private:
    // The entry whose data frames arrive now, when it is being processed.
    struct TCurrentEntry {
        bool Active = false;
        TFileInfoItem Item;
        std::string Name;
        std::unique_ptr<TExtractFile> File;
        std::optional<std::time_t> ModTime;
        std::int64_t Read = 0;
    };

    // Reads every header; fills FArchivItems. Throws EOlvex.
    void ReadDirectory();
    // The total of uncompressed bytes, from the list when it belongs to this file.
    std::int64_t KnownTotal();
    void ReadAll(bool extract, const std::vector<int>* indexes);
    void StartExtract(const TLeserEntry& entry, TFileInfoItem& item, TExtractTarget& target, TCurrentEntry& current);
    void TakeData(const std::string& payload, TCurrentEntry& current, std::int64_t& done, std::int64_t total);

    // The helper's next frame; ends the command when the helper stops without an answer.
    TLeserFrame NextFrame(TLeserProcess& helper, const std::int64_t& done, std::int64_t total);
    TLeserEntry DecodeEntry(const TLeserFrame& frame) const;
    [[noreturn]] void FailUnreadable(const std::string& reason) const;
    [[noreturn]] void RefuseWriting() const;

    std::string FListedFile;
};

}  // namespace tavik
