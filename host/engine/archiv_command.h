#pragma once
// What every format shares: the frame of a command (busy flag, events, abort, failures and
// skipped items) so that each format only describes its own work.
#include <exception>
#include <optional>
#include <string>

#include "host/engine/archiv_format.h"
#include "host/engine/extract/extract_target.h"
#include "host/services/exceptions.h"

namespace tavik {

class TArchivCommandBase : public TArchivFormatAbstract {
protected:
    // Ends the running command with its message as LastError().
    class ECommandFailed : public EOlvex {
    public:
        using EOlvex::EOlvex;
    };
    class ECommandAborted : public EOlvex {
    public:
        ECommandAborted();
    };

    // Runs body as the command: sets Busy, clears LastError, calls OnCommandEnd once at the
    // end whatever happens. Engine failures, aborts and skipped items give false; any other
    // exception (from an event handler, say) reaches the caller after OnCommandEnd.
    bool RunCommand(TArchivCommand command, const std::function<void()>& body);

    [[noreturn]] void Fail(const std::string& reason, TErrorKind kind = TErrorKind::Other) const;

    // OnCommandItemStart; false means skip the item.
    bool ItemStart(PFileInfoItem& item);
    // Progress events; they end the command when an abort was requested.
    void ItemProgress(PFileInfoItem item, std::int64_t done, std::int64_t total);
    void Progress(std::int64_t done, std::int64_t total);
    void CheckAbort() const;

    // Variants for callbacks of C libraries, where no exception may pass: they report false
    // when the command has to stop and keep an exception for RethrowPending().
    bool ItemProgressNoThrow(PFileInfoItem item, std::int64_t done, std::int64_t total) noexcept;
    bool ProgressNoThrow(std::int64_t done, std::int64_t total) noexcept;
    bool AbortRequested() const { return FAbortRequested.load(); }
    void RethrowPending();

    // One item could not be processed: OnError of kind Item. Returns when the handler lets the
    // command skip the item, otherwise ends the command. The command returns false either way.
    void ItemFailed(const std::string& item, const TReason& reason);

    TArchivCommand CurrentCommand() const { return FCommand; }

    // The tally of LastExtractCounts(): a file entry to be written, and what became of it.
    void CountFileToExtract() { ++FExtractCounts.Files; }
    void CountCommitted(TCommitOutcome outcome);

    // The question of extraction before a different file is replaced: OnConflict, with the
    // All answers remembered for the rest of the command.
    TReplaceQuestion ConflictQuestion();

private:
    TArchivCommand FCommand = TArchivCommand::None;
    int FFailedItems = 0;
    std::string FFirstItemError;
    TErrorKind FFirstItemKind = TErrorKind::Other;
    std::exception_ptr FPending;
    std::optional<TReplaceDecision> FConflictForAll;
};

}  // namespace tavik
