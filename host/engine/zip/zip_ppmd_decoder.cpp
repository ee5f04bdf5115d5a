#include "host/engine/zip/zip_ppmd_decoder.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "host/engine/other/leser_process.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr std::chrono::milliseconds kWait{100};
// libarchive's reason is shown in the message; a longer one is cut.
constexpr std::size_t kMaxReason = 200;

class TPpmdDecoder final : public TZipMethodDecoder {
public:
    TPpmdDecoder(std::uint64_t size, std::uint64_t packed)
        : FHelper(TLeserFedInput{}, {"ppmd", std::to_string(size), std::to_string(packed)}) {}

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
            if (FEnded) return true;
            if (last && used == size && !FInputEnded) {
                FHelper.EndInput();
                FInputEnded = true;
            }
            TLeserFrame frame;
            std::string reason;
            switch (FHelper.Await(frame, used < size, kWait, reason)) {
                case TLeserWait::Frame: Take(frame); break;
                case TLeserWait::Writable:
                    used += FHelper.Feed(in + used, size - used);
                    // All given is taken: the caller brings the next piece.
                    if (used == size && !last) return false;
                    break;
                case TLeserWait::Quiet:
                    FBusy = used == 0;
                    return false;
                case TLeserWait::Ended:
                    throw EOlvex("Die mit PPMd gepackten Daten lassen sich nicht entpacken, weil " + reason + ".");
            }
        }
    }

    bool Busy() const override { return FBusy; }

private:
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
            case TLeserFrameType::EntryError:
            case TLeserFrameType::Failure:
                throw EOlvex("Die mit PPMd gepackten Daten sind beschädigt (libarchive: " +
                                 frame.Payload.substr(0, kMaxReason) + ").",
                             TErrorKind::DamagedArchive);
            default: return;
        }
    }

    [[noreturn]] static void Garbled() {
        throw EOlvex("Die mit PPMd gepackten Daten lassen sich nicht entpacken, weil das Leseprogramm "
                     "Unverständliches meldete.");
    }

    TLeserProcess FHelper;
    std::string FPending;
    std::size_t FPendingAt = 0;
    std::int64_t FReceived = 0;
    bool FInputEnded = false;
    bool FEnded = false;
    bool FBusy = false;
};

}  // namespace

std::unique_ptr<TZipMethodDecoder> CreatePpmdDecoder(std::uint64_t size, std::uint64_t packed) {
    return std::make_unique<TPpmdDecoder>(size, packed);
}

}  // namespace tavik
