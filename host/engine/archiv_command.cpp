#include "host/engine/archiv_command.h"

#include <utility>

namespace tavik {

TArchivCommandBase::ECommandAborted::ECommandAborted() : EOlvex("Der Vorgang wurde abgebrochen.") {}

bool TArchivCommandBase::RunCommand(TArchivCommand command, const std::function<void()>& body) {
    FBusy = true;
    FAbortRequested = false;
    FLastError.clear();
    FLastAborted = false;
    FLastRecognised = false;
    FConflictForAll.reset();
    FCommand = command;
    FFailedItems = 0;
    FFirstItemError.clear();
    FPending = nullptr;

    bool ok = false;
    std::exception_ptr foreign;
    try {
        body();
        RethrowPending();
        if (FFailedItems == 0) {
            ok = true;
        } else if (FFailedItems == 1) {
            FLastError = FFirstItemError;
        } else {
            FLastError = std::to_string(FFailedItems) + " Einträge konnten nicht verarbeitet werden. Der erste: " +
                         FFirstItemError;
        }
    } catch (const EOlvex& e) {
        FLastError = e.what();
        if (FLastError.empty()) FLastError = "Der Vorgang ist fehlgeschlagen.";
    } catch (...) {
        foreign = std::current_exception();
        FLastError = "Der Vorgang wurde durch einen unerwarteten Fehler beendet.";
    }
    FBusy = false;
    FLastAborted = !ok && FAbortRequested.load();
    FAbortRequested = false;
    FCommand = TArchivCommand::None;
    if (OnCommandEnd) OnCommandEnd(*this, command);
    if (foreign) std::rethrow_exception(foreign);
    return ok;
}

void TArchivCommandBase::Fail(const std::string& reason) const { throw ECommandFailed(reason); }

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

void TArchivCommandBase::ItemFailed(const std::string& item, const std::string& reason) {
    const std::string message = "„" + item + "“: " + reason;
    if (++FFailedItems == 1) FFirstItemError = message;
    bool skip = false;
    if (OnError) OnError(*this, FCommand, TArchivErrorKind::Item, item, reason, skip);
    if (!skip) Fail(message);
}

}  // namespace tavik
