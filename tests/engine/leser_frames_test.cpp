// The engine's side of the helper's frames: whatever way the bytes arrive, the frames come out
// whole and in order, and a broken stream is told apart from one that needs more.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/engine/other/leser/leser_protocol.h"

namespace tavik {
namespace {

using TTake = TLeserFrameReader::TTake;

std::string Stream(const std::vector<TLeserFrame>& frames) {
    std::string out;
    for (const TLeserFrame& frame : frames) out += EncodeLeserFrame(frame.Type, frame.Payload);
    return out;
}

std::vector<TLeserFrame> Sample() {
    TLeserEntry entry;
    entry.Name = "a/b.txt";
    entry.Size = 3;
    return {{TLeserFrameType::Entry, EncodeLeserEntry(entry)},
            {TLeserFrameType::Data, EncodeLeserData(0, "abc")},
            {TLeserFrameType::DataEnd, ""},
            {TLeserFrameType::Alive, ""},
            {TLeserFrameType::Warning, std::string(70'000, 'w')},
            {TLeserFrameType::End, ""}};
}

// Feeds the stream in pieces of the given size and takes frames after each piece.
std::vector<TLeserFrame> Cut(const std::string& stream, std::size_t piece, TLeserFrameReader& reader) {
    std::vector<TLeserFrame> frames;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        reader.Append(stream.data() + at, std::min(piece, stream.size() - at));
        TLeserFrame frame;
        TTake take;
        while ((take = reader.Take(frame)) == TTake::Frame) frames.push_back(frame);
        EXPECT_EQ(take, TTake::NeedMore) << "piece size " << piece;
    }
    return frames;
}

TEST(LeserFrames, ComeOutWholeAndInOrderHoweverTheBytesArrive) {
    const std::vector<TLeserFrame> sent = Sample();
    const std::string stream = Stream(sent);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{7}, std::size_t{4096},
                                    stream.size()}) {
        TLeserFrameReader reader;
        const std::vector<TLeserFrame> got = Cut(stream, piece, reader);
        ASSERT_EQ(got.size(), sent.size()) << "piece size " << piece;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(got[i].Type, sent[i].Type) << "frame " << i << ", piece size " << piece;
            EXPECT_EQ(got[i].Payload, sent[i].Payload) << "frame " << i << ", piece size " << piece;
        }
        EXPECT_EQ(reader.Pending(), 0u);
    }
}

TEST(LeserFrames, ManySmallFramesLeaveNothingBehind) {
    TLeserFrameReader reader;
    std::size_t taken = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string many;
        for (int i = 0; i < 50; ++i) many += EncodeLeserFrame(TLeserFrameType::Alive, "");
        // Half a frame stays behind each round, so the buffer never empties by chance.
        many += EncodeLeserFrame(TLeserFrameType::Data, EncodeLeserData(round, "xy"));
        reader.Append(many.data(), many.size());
        TLeserFrame frame;
        while (reader.Take(frame) == TTake::Frame) ++taken;
    }
    EXPECT_EQ(taken, 2000u * 51u);
    EXPECT_EQ(reader.Pending(), 0u);
}

TEST(LeserFrames, AnUnknownTypeOrAnOversizedLengthIsBrokenNotIncomplete) {
    struct TCase {
        const char* what;
        std::string head;
    };
    const std::string oversized = [] {
        std::string head(1, static_cast<char>(TLeserFrameType::Data));
        const std::uint32_t length = LeserMaxFrame + 1;
        for (int i = 0; i < 4; ++i) head += static_cast<char>(length >> (8 * i));
        return head;
    }();
    const std::vector<TCase> cases{
        {"type 0", std::string("\x00\x00\x00\x00\x00", 5)},
        {"type 9", std::string("\x09\x00\x00\x00\x00", 5)},
        {"length over the limit", oversized},
    };
    for (const TCase& c : cases) {
        TLeserFrameReader reader;
        const std::string good = EncodeLeserFrame(TLeserFrameType::Alive, "");
        reader.Append(good.data(), good.size());
        reader.Append(c.head.data(), c.head.size());
        TLeserFrame frame;
        EXPECT_EQ(reader.Take(frame), TTake::Frame) << c.what;
        EXPECT_EQ(reader.Take(frame), TTake::Broken) << c.what;
    }
}

}  // namespace
}  // namespace tavik
