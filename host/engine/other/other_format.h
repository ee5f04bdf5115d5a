#pragma once
// Format 1: every other archive format that libarchive reads (tar with its compressed forms,
// 7z, cpio, iso, ...), read only. libarchive runs in the helper vendrask-leser under hard
// limits (leser_process.h); the policy stays here: which entries, names, what is written where,
// progress and abort.
#include <memory>
#include <optional>
#include <set>

#include "host/engine/archiv_command.h"
#include "host/engine/other/leser_process.h"
#include "host/engine/other/other_damage.h"

namespace tavik {

class TExtractTarget;
class TExtractFile;

class TOtherArchiv : public TArchivCommandBase {
public:
    // More entries than this in one archive are refused, unless NoLimits: their list alone would
    // fill the memory.
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
        std::vector<std::string> Parts;  // where it is written, below the target
        std::unique_ptr<TExtractFile> File;
        std::optional<std::time_t> ModTime;
        std::int64_t Read = 0;
    };

    // What a listing is for. Report: a command of its own (list, simple check), which fails on
    // everything the reader warned of, as reading all does. Total: the list before reading all,
    // for the total and the positions; only a limit or an abort ends it, since the reading that
    // follows meets the damage itself and rescues what lies around it.
    enum class TListingUse : std::uint8_t { Report, Total };

    // Reads every header into FArchivItems; the entries read before a failure stay there.
    void ReadDirectory(TListingUse use);
    // The total of uncompressed bytes, from the list when it belongs to this file.
    std::int64_t KnownTotal();
    void ReadAll(bool extract, const std::vector<int>* indexes);
    // written: the names (their parts '/'-joined, before stripping) of the entries this command
    // has put in place; a hard link may only point at one of them.
    void StartExtract(const TLeserEntry& entry, TFileInfoItem& item, TExtractTarget& target, TCurrentEntry& current,
                      std::set<std::string>& written);
    // A file entry that had begun failed: nothing of it stays, nor a folder made only for it.
    void FailCurrent(TCurrentEntry& current, TExtractTarget* target, const TReason& reason);
    void TakeData(const std::string& payload, TCurrentEntry& current, TExtractTarget* target, std::int64_t& done,
                  std::int64_t total);
    // Fails the command when the reader skipped bytes that are no header; what advice follows
    // depends on the command.
    void FailOnDamage(const TDamageBetweenEntries& damage) const;

    // The helper's next frame; ends the command when the helper stops without an answer.
    TLeserFrame NextFrame(TLeserProcess& helper, const std::int64_t& done, std::int64_t total);
    // The reader cannot go on at the place where (German: "nach dem Eintrag „x“"; empty: before
    // any entry).
    [[noreturn]] void FailReading(const TLeserFrame& frame, const std::string& where) const;
    TLeserEntry DecodeEntry(const TLeserFrame& frame) const;
    TLeserLimits HelperLimits() const { return NoLimits ? TLeserLimits::Lifted : TLeserLimits::Protective; }
    // The engine's own limit on the size of the list.
    void CheckListLimit(int entries, std::int64_t nameBytes) const;
    [[noreturn]] void FailHelperEnded(const std::string& reason, TErrorKind kind) const;
    [[noreturn]] void FailLimit(const std::string& reason) const;
    [[noreturn]] void RefuseWriting() const;

    std::string FListedFile;
};

}  // namespace tavik
