#include "host/engine/archiv_command.h"

#include <utility>

namespace tavik {

TArchivCommandBase::ECommandAborted::ECommandAborted()
    : EOlvex("Der Vorgang wurde abgebrochen.", TErrorKind::Aborted) {}

bool TArchivCommandBase::RunCommand(TArchivCommand command, const std::function<void()>& body) {
    FBusy = true;
    FAbortRequested = false;
    FLastError.clear();
    FLastErrorKind = TErrorKind::Other;
    FLastRecognised = false;
    FConflictForAll.reset();
    FCommand = command;
    FFailedItems = 0;
    FExtractCounts = {};
    FVerifyCounts = {};
    FFirstItemError.clear();
    FFirstItemKind = TErrorKind::Other;
    FPending = nullptr;

    bool ok = false;
    std::exception_ptr foreign;
    try {
        body();
        RethrowPending();
        if (FFailedItems == 0) {
            ok = true;
        } else if (FFailedItems == 1) {
            FLastErrorKind = FFirstItemKind;
            FLastError = FFirstItemError;
        } else {
            FLastErrorKind = FFirstItemKind;
            FLastError = std::to_string(FFailedItems) + " Einträge konnten nicht verarbeitet werden. Der erste: " +
                         FFirstItemError;
        }
    } catch (const EOlvex& e) {
        FLastError = e.what();
        FLastErrorKind = e.Kind();
        if (FLastError.empty()) FLastError = "Der Vorgang ist fehlgeschlagen.";
    } catch (...) {
        foreign = std::current_exception();
        FLastError = "Der Vorgang wurde durch einen unerwarteten Fehler beendet.";
    }
    FBusy = false;
    // However it surfaced (libzip's cancelled close, a helper stopped), a requested abort ended it.
    if (!ok && FAbortRequested.load()) FLastErrorKind = TErrorKind::Aborted;
    FAbortRequested = false;
    FCommand = TArchivCommand::None;
    if (OnCommandEnd) OnCommandEnd(*this, command);
    if (foreign) std::rethrow_exception(foreign);
    return ok;
}

void TArchivCommandBase::Fail(const std::string& reason, TErrorKind kind) const { throw ECommandFailed(reason, kind); }

bool TArchivCommandBase::ItemStart(PFileInfoItem& item) {
    CheckAbort();
    if (!OnCommandItemStart) return true;
    return OnCommandItemStart(*this, FCommand, item) && item != nullptr;
}

void TArchivCommandBase::ItemProgress(PFileInfoItem item, std::int64_t done, std::int64_t total) {
    if (OnCommandItemProgress) OnCommandItemProgress(*this, FCommand, item, done, total);
    CheckAbort();
}

void TArchivCommandBase::Progress(std::int64_t done, std::int64_t total) {
    if (OnCommandProgress) OnCommandProgress(*this, FCommand, done, total);
    CheckAbort();
}

void TArchivCommandBase::CheckAbort() const {
    if (FAbortRequested) throw ECommandAborted();
}

bool TArchivCommandBase::ItemProgressNoThrow(PFileInfoItem item, std::int64_t done, std::int64_t total) noexcept {
    if (FPending) return false;
    try {
        if (OnCommandItemProgress) OnCommandItemProgress(*this, FCommand, item, done, total);
    } catch (...) {
        FPending = std::current_exception();
        return false;
    }
    return !FAbortRequested;
}

bool TArchivCommandBase::ProgressNoThrow(std::int64_t done, std::int64_t total) noexcept {
    if (FPending) return false;
    try {
        if (OnCommandProgress) OnCommandProgress(*this, FCommand, done, total);
    } catch (...) {
        FPending = std::current_exception();
        return false;
    }
    return !FAbortRequested;
}

void TArchivCommandBase::RethrowPending() {
    if (FPending) std::rethrow_exception(std::exchange(FPending, nullptr));
}

TReplaceQuestion TArchivCommandBase::ConflictQuestion() {
    if (!OnConflict) return {};
    return [this](const std::string& path) {
        if (FConflictForAll) return *FConflictForAll;
        switch (OnConflict(*this, path)) {
            case TArchivConflictAnswer::Yes: return TReplaceDecision::Replace;
            case TArchivConflictAnswer::YesAll: return *(FConflictForAll = TReplaceDecision::Replace);
            case TArchivConflictAnswer::NoAll: return *(FConflictForAll = TReplaceDecision::Keep);
            case TArchivConflictAnswer::No: break;
        }
        return TReplaceDecision::Keep;
    };
}

void TArchivCommandBase::CountCommitted(TCommitOutcome outcome) {
    switch (outcome) {
        case TCommitOutcome::Written: ++FExtractCounts.Written; break;
        case TCommitOutcome::Identical: ++FExtractCounts.Identical; break;
        case TCommitOutcome::Kept: ++FExtractCounts.Kept; break;
    }
}

void TArchivCommandBase::ItemFailed(const std::string& item, const TReason& reason) {
    const std::string message = "„" + item + "“: " + reason.Text;
    if (++FFailedItems == 1) {
        FFirstItemError = message;
        FFirstItemKind = reason.Kind;
    }
    bool skip = false;
    FReportedErrorKind = reason.Kind;
    if (OnError) OnError(*this, FCommand, TArchivErrorKind::Item, item, reason.Text, skip);
    FReportedErrorKind = TErrorKind::Other;
    if (!skip) Fail(message, reason.Kind);
}

}  // namespace tavik
