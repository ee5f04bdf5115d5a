#include "host/engine/other/leser/leser_protocol.h"

#include "host/services/little_endian.h"

namespace tavik {

namespace {

void PutU32(std::string& out, std::uint32_t value) { AppendLittleEndian(out, value, 4); }

void PutI64(std::string& out, std::int64_t value) { AppendLittleEndian(out, static_cast<std::uint64_t>(value), 8); }

void PutText(std::string& out, std::string_view text) {
    PutU32(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

class TPayloadReader {
public:
    explicit TPayloadReader(std::string_view data) : FData(data) {}

    bool U8(std::uint8_t& value) {
        if (FData.size() < 1) return false;
        value = static_cast<std::uint8_t>(FData[0]);
        FData.remove_prefix(1);
        return true;
    }
    bool U32(std::uint32_t& value) {
        if (FData.size() < 4) return false;
        value = GetLittleEndian32(FData.data());
        FData.remove_prefix(4);
        return true;
    }
    bool I64(std::int64_t& value) {
        if (FData.size() < 8) return false;
        value = static_cast<std::int64_t>(GetLittleEndian64(FData.data()));
        FData.remove_prefix(8);
        return true;
    }
    bool Text(std::string& value) {
        std::uint32_t size = 0;
        if (!U32(size) || FData.size() < size) return false;
        value.assign(FData.substr(0, size));
        FData.remove_prefix(size);
        return true;
    }
    std::string_view Rest() const { return FData; }

private:
    std::string_view FData;
};

}  // namespace

std::string EncodeLeserPpmdEntry(std::uint64_t size, std::uint64_t packed) {
    std::string out;
    PutI64(out, static_cast<std::int64_t>(size));
    PutI64(out, static_cast<std::int64_t>(packed));
    return out;
}

std::string EncodeLeserPpmdChunk(std::string_view bytes) {
    std::string out;
    PutText(out, bytes);
    return out;
}

std::string EncodeLeserFrame(TLeserFrameType type, std::string_view payload) {
    std::string frame;
    frame.reserve(5 + payload.size());
    frame += static_cast<char>(type);
    PutU32(frame, static_cast<std::uint32_t>(payload.size()));
    frame += payload;
    return frame;
}

void TLeserFrameReader::Append(const char* data, std::size_t size) {
    if (FStart > 0 && FStart >= FBuffer.size() / 2) {
        FBuffer.erase(0, FStart);
        FStart = 0;
    }
    FBuffer.append(data, size);
}

TLeserFrameReader::TTake TLeserFrameReader::Take(TLeserFrame& frame) {
    constexpr std::size_t kHead = 5;
    if (Pending() < kHead) return TTake::NeedMore;
    const char* head = FBuffer.data() + FStart;
    const auto type = static_cast<std::uint8_t>(head[0]);
    const std::uint32_t length = GetLittleEndian32(head + 1);
    if (length > LeserMaxFrame || type < static_cast<std::uint8_t>(TLeserFrameType::Entry) ||
        type > static_cast<std::uint8_t>(TLeserFrameType::Alive))
        return TTake::Broken;
    if (Pending() - kHead < length) return TTake::NeedMore;
    frame.Type = static_cast<TLeserFrameType>(type);
    frame.Payload.assign(head + kHead, length);
    FStart += kHead + length;
    if (FStart == FBuffer.size()) {
        FBuffer.clear();
        FStart = 0;
    }
    return TTake::Frame;
}

std::string EncodeLeserEntry(const TLeserEntry& entry) {
    std::string out;
    PutText(out, entry.Name);
    out += static_cast<char>(entry.Hardlink ? 1 : 0);
    PutText(out, entry.Hardlink.value_or(""));
    PutText(out, entry.Symlink);
    out += static_cast<char>(entry.Kind);
    PutU32(out, entry.Permissions);
    out += static_cast<char>(entry.Size ? 1 : 0);
    PutI64(out, entry.Size.value_or(0));
    out += static_cast<char>(entry.ModTime ? 1 : 0);
    PutI64(out, entry.ModTime.value_or(0));
    out += static_cast<char>((entry.Encrypted ? 1 : 0) | (entry.HasData ? 2 : 0));
    PutText(out, entry.Warning);
    return out;
}

std::string EncodeLeserData(std::int64_t offset, std::string_view bytes) {
    std::string out;
    out.reserve(8 + bytes.size());
    PutI64(out, offset);
    out += bytes;
    return out;
}

std::string EncodeLeserFailure(const TLeserFailure& failure) {
    std::string out;
    out += static_cast<char>(failure.Kind);
    out += failure.Reason;
    return out;
}

bool DecodeLeserFailure(std::string_view payload, TLeserFailure& failure) {
    TPayloadReader in(payload);
    std::uint8_t kind = 0;
    if (!in.U8(kind) || kind > static_cast<std::uint8_t>(TLeserFailureKind::Unsupported)) return false;
    failure.Kind = static_cast<TLeserFailureKind>(kind);
    failure.Reason.assign(in.Rest());
    return true;
}

bool DecodeLeserEntry(std::string_view payload, TLeserEntry& entry) {
    TPayloadReader in(payload);
    std::uint8_t hasHardlink = 0, kind = 0, sizeSet = 0, timeSet = 0, flags = 0;
    std::string hardlink;
    std::int64_t size = 0, time = 0;
    if (!in.Text(entry.Name) || !in.U8(hasHardlink) || !in.Text(hardlink) || !in.Text(entry.Symlink) ||
        !in.U8(kind) || !in.U32(entry.Permissions) || !in.U8(sizeSet) || !in.I64(size) || !in.U8(timeSet) ||
        !in.I64(time) || !in.U8(flags) || !in.Text(entry.Warning) || !in.Rest().empty())
        return false;
    if (kind > static_cast<std::uint8_t>(TLeserEntryKind::Other) || size < 0) return false;
    entry.Hardlink = hasHardlink != 0 ? std::optional<std::string>(std::move(hardlink)) : std::nullopt;
    entry.Kind = static_cast<TLeserEntryKind>(kind);
    entry.Size = sizeSet != 0 ? std::optional<std::int64_t>(size) : std::nullopt;
    entry.ModTime = timeSet != 0 ? std::optional<std::int64_t>(time) : std::nullopt;
    entry.Encrypted = (flags & 1) != 0;
    entry.HasData = (flags & 2) != 0;
    return true;
}

bool DecodeLeserData(std::string_view payload, std::int64_t& offset, std::string_view& bytes) {
    TPayloadReader in(payload);
    if (!in.I64(offset) || offset < 0) return false;
    bytes = in.Rest();
    return bytes.size() <= LeserMaxChunk;
}

}  // namespace tavik
