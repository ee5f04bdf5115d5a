#include "host/engine/zip/zip_ppmd_decoder.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "host/engine/other/leser/leser_protocol.h"
#include "host/engine/other/leser_process.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr std::chrono::milliseconds kWait{100};
// libarchive's reason is shown in the message; a longer one is cut.
constexpr std::size_t kMaxReason = 200;

[[noreturn]] void Garbled() {
    throw EOlvex("Die mit PPMd gepackten Daten lassen sich nicht entpacken, weil das Leseprogramm "
                 "Unverständliches meldete.");
}

}  // namespace

// Feeds one entry in the framing of leser_protocol.h (LeserPpmdEntry, then chunks) and takes
// its decoded bytes back.
class TPpmdDecoder final : public TZipMethodDecoder {
public:
    TPpmdDecoder(TPpmdSession& session, std::uint64_t size, std::uint64_t packed)
        : FSession(session), FHelper(*session.FHelper), FOutgoing(EncodeLeserPpmdEntry(size, packed)) {}
    TPpmdDecoder(const TPpmdDecoder&) = delete;
    TPpmdDecoder& operator=(const TPpmdDecoder&) = delete;
    ~TPpmdDecoder() override {
        // A helper left in the middle of an entry cannot take the next one.
        if (!FClean) FSession.FHelper.reset();
    }

    bool Decode(const std::uint8_t* in, std::size_t size, bool last, std::uint8_t* out, std::size_t room,
                std::size_t& used, std::size_t& made) override {
        used = made = 0;
        FBusy = false;
        for (;;) {
            if (FPendingAt < FPending.size()) {
                made = std::min(room, FPending.size() - FPendingAt);
                std::memcpy(out, FPending.data() + FPendingAt, made);
                FPendingAt += made;
                return false;
            }
            if (FEnded) {
                Finish();
                return true;
            }
            if (FOutgoing.empty()) {
                if (used < size) {
                    const std::size_t chunk = std::min(size - used, LeserPpmdMaxChunk);
                    FOutgoing = EncodeLeserPpmdChunk(std::string_view(reinterpret_cast<const char*>(in + used), chunk));
                    used += chunk;
                } else if (last && !FTerminated) {
                    FOutgoing = EncodeLeserPpmdChunk({});
                    FTerminated = true;
                }
            }
            // The caller brings the next piece while this one is on its way.
            if (used == size && size > 0 && !last) return false;
            TLeserFrame frame;
            std::string reason;
            switch (FHelper.Await(frame, !FOutgoing.empty(), kWait, reason)) {
                case TLeserWait::Frame: Take(frame); break;
                case TLeserWait::Writable: FOutgoing.erase(0, FHelper.Feed(FOutgoing.data(), FOutgoing.size())); break;
                case TLeserWait::Quiet: FBusy = used == 0; return false;
                case TLeserWait::Ended: Failed(reason, FHelper.EndKind());
            }
        }
    }

    bool Busy() const override { return FBusy; }

private:
    // The helper skips what the entry's end left unread up to the end mark; then it waits for
    // the next entry.
    void Finish() {
        if (!FTerminated) {
            FOutgoing += EncodeLeserPpmdChunk({});
            FTerminated = true;
        }
        while (!FOutgoing.empty()) {
            TLeserFrame frame;
            std::string reason;
            switch (FHelper.Await(frame, true, kWait, reason)) {
                case TLeserWait::Frame: Garbled();
                case TLeserWait::Writable: FOutgoing.erase(0, FHelper.Feed(FOutgoing.data(), FOutgoing.size())); break;
                case TLeserWait::Quiet: break;
                case TLeserWait::Ended: Failed(reason, FHelper.EndKind());
            }
        }
        FClean = true;
    }

    void Take(const TLeserFrame& frame) {
        switch (frame.Type) {
            case TLeserFrameType::Data: {
                std::int64_t offset = 0;
                std::string_view bytes;
                if (!DecodeLeserData(frame.Payload, offset, bytes) || offset != FReceived) Garbled();
                FPending.assign(bytes);
                FPendingAt = 0;
                FReceived += static_cast<std::int64_t>(bytes.size());
                return;
            }
            case TLeserFrameType::DataEnd: FEnded = true; return;
            case TLeserFrameType::EntryError: {
                const std::string reason = frame.Payload.substr(0, kMaxReason);
                // The helper skips the rest of the entry and stays for the next one; should that
                // fail, the destructor ends it.
                try {
                    Finish();
                } catch (const EOlvex&) {
                }
                throw EOlvex("Die mit PPMd gepackten Daten sind beschädigt (libarchive: " + reason + ").",
                             TErrorKind::DamagedArchive);
            }
            default: Garbled();
        }
    }

    [[noreturn]] static void Failed(const std::string& reason, TErrorKind kind) {
        std::string text = "Die mit PPMd gepackten Daten lassen sich nicht entpacken, weil " + reason + ".";
        if (kind == TErrorKind::LimitReached)
            text += " Das ist eine Schutzgrenze beim Lesen, kein Zeichen von Beschädigung; stammt das Archiv aus "
                    "vertrauenswürdiger Quelle, hebt „vendrask-archiv --no-limits“ die Grenze auf.";
        throw EOlvex(text, kind);
    }

    TPpmdSession& FSession;
    TLeserProcess& FHelper;
    std::string FOutgoing;  // framed input not yet taken by the helper
    std::string FPending;   // decoded bytes not yet handed on
    std::size_t FPendingAt = 0;
    std::int64_t FReceived = 0;
    bool FTerminated = false;
    bool FEnded = false;
    bool FClean = false;
    bool FBusy = false;
};

TPpmdSession::TPpmdSession(bool limitsLifted) : FLimitsLifted(limitsLifted) {}
TPpmdSession::~TPpmdSession() = default;

std::unique_ptr<TZipMethodDecoder> TPpmdSession::Decoder(std::uint64_t size, std::uint64_t packed) {
    if (!FHelper)
        FHelper = std::make_unique<TLeserProcess>(TLeserFedInput{}, std::vector<std::string>{"ppmd"},
                                                  FLimitsLifted ? TLeserLimits::Lifted : TLeserLimits::Protective);
    return std::make_unique<TPpmdDecoder>(*this, size, packed);
}

}  // namespace tavik
