// The ZIP records that split volumes rewrite: Zip64 fields appear exactly where values need them.
#include <gtest/gtest.h>

#include "host/engine/zip/zip_records.h"

namespace {

using namespace tavik::zip;

TCentralHeader Sample() {
    TCentralHeader h;
    h.versionMadeBy = 0x031E;
    h.versionNeeded = 20;
    h.flags = kFlagDataDescriptor;
    h.method = 8;
    h.crc = 0x12345678;
    h.compressedSize = 1000;
    h.uncompressedSize = 5000;
    h.name = {'a', '/', 'b'};
    h.extra = {0x55, 0x54, 0x01, 0x00, 0x07};  // a foreign block kept as it is
    h.comment = {'c'};
    return h;
}

TCentralHeader RoundTrip(const TCentralHeader& h, std::uint32_t disk, std::uint64_t offset, TBytes* bytes = nullptr) {
    const TBytes out = SerializeCentralHeader(h, disk, offset);
    if (bytes) *bytes = out;
    EXPECT_EQ(CentralHeaderSize(out.data()), out.size());
    return ParseCentralHeader(out.data(), out.size());
}

TEST(SplitRecords, SmallValuesNeedNoZip64) {
    TBytes bytes;
    const TCentralHeader back = RoundTrip(Sample(), 3, 70000, &bytes);
    EXPECT_FALSE(back.hadZip64Extra);
    EXPECT_EQ(back.diskStart, 3u);
    EXPECT_EQ(back.localOffset, 70000u);
    EXPECT_EQ(back.versionNeeded, 20);
    EXPECT_EQ(back.extra, Sample().extra);
    EXPECT_EQ(back.comment, Sample().comment);
    EXPECT_EQ(Get16(bytes.data() + 34), 3);
}

TEST(SplitRecords, LargeOffsetsAndDisksGoIntoZip64) {
    TBytes bytes;
    const TCentralHeader back = RoundTrip(Sample(), 70000, 5'000'000'000ull, &bytes);
    EXPECT_TRUE(back.hadZip64Extra);
    EXPECT_EQ(back.diskStart, 70000u);
    EXPECT_EQ(back.localOffset, 5'000'000'000ull);
    EXPECT_EQ(back.versionNeeded, 45);
    EXPECT_EQ(Get32(bytes.data() + 42), 0xFFFFFFFFu);
    EXPECT_EQ(Get16(bytes.data() + 34), 0xFFFF);
    EXPECT_EQ(back.extra, Sample().extra);
}

TEST(SplitRecords, Zip64SizesKeepTheirForm) {
    TCentralHeader h = Sample();
    h.compressedIn64 = h.uncompressedIn64 = true;
    h.uncompressedSize = 6'000'000'000ull;
    const TCentralHeader once = RoundTrip(h, 0, 10);
    const TCentralHeader twice = RoundTrip(once, 1, 20);
    EXPECT_EQ(twice.uncompressedSize, 6'000'000'000ull);
    EXPECT_EQ(twice.compressedSize, 1000u);
    EXPECT_TRUE(twice.compressedIn64);
    EXPECT_EQ(twice.localOffset, 20u);
}

TEST(SplitRecords, AFullFieldWithoutZip64IsItsOwnValueAShortZip64FieldIsRefused) {
    TBytes bytes = SerializeCentralHeader(Sample(), 0, 10);
    bytes[42] = bytes[43] = bytes[44] = bytes[45] = 0xFF;  // offset says "in Zip64", none there
    const TCentralView view = ViewCentralHeader(bytes.data(), bytes.size());
    EXPECT_TRUE(view.fullWithoutZip64);
    EXPECT_EQ(view.localOffset, 0xFFFFFFFFu);

    TCentralHeader h = Sample();
    h.uncompressedIn64 = true;
    bytes = SerializeCentralHeader(h, 0, 10);
    bytes[24 + 0] = bytes[24 + 1] = bytes[24 + 2] = bytes[24 + 3] = 0xFF;
    bytes[20] = bytes[21] = bytes[22] = bytes[23] = 0xFF;  // compressed too, field has room for one
    EXPECT_THROW(ParseCentralHeader(bytes.data(), bytes.size()), TRecordError);
    EXPECT_THROW(ParseCentralHeader(bytes.data(), bytes.size() - 1), TRecordError);
}

TEST(SplitRecords, EndRecordsRoundTrip) {
    TEndRecord end;
    end.thisDisk = 4;
    end.centralDisk = 3;
    end.entriesOnDisk = 2;
    end.entriesTotal = 7;
    end.centralSize = 500;
    end.centralOffset = 60000;
    end.comment = {'h', 'i'};
    TBytes bytes = BuildEndRecords(end, 60500);
    EXPECT_EQ(bytes.size(), EndRecordsSize(end));
    TBytes withJunk{1, 2, 3};
    withJunk.insert(withJunk.end(), bytes.begin(), bytes.end());
    TFoundEnd found = FindEndRecord(withJunk.data(), withJunk.size());
    EXPECT_FALSE(found.hasLocator);
    EXPECT_EQ(found.position, 3u);
    EXPECT_EQ(found.record.thisDisk, 4u);
    EXPECT_EQ(found.record.centralOffset, 60000u);
    EXPECT_EQ(found.record.comment, end.comment);

    end.entriesTotal = end.entriesOnDisk = 70000;
    end.centralOffset = 5'000'000'000ull;
    bytes = BuildEndRecords(end, 7'000'000'000ull);
    EXPECT_EQ(bytes.size(), EndRecordsSize(end));
    found = FindEndRecord(bytes.data(), bytes.size());
    ASSERT_TRUE(found.hasLocator);
    EXPECT_EQ(found.zip64Disk, 4u);
    EXPECT_EQ(found.zip64Offset, 7'000'000'000ull);
    EXPECT_EQ(found.totalDisks, 5u);
    EXPECT_EQ(found.record.entriesTotal, 0xFFFFu);
    ApplyZip64EndRecord(found, bytes.data(), bytes.size());
    EXPECT_EQ(found.record.entriesTotal, 70000u);
    EXPECT_EQ(found.record.centralOffset, 5'000'000'000ull);
    EXPECT_EQ(found.record.centralDisk, 3u);
}

TEST(SplitRecords, EndRecordIsFoundWhenItsFixedPartIsComplete) {
    TEndRecord end;
    end.comment.assign(100, 'x');
    const TBytes bytes = BuildEndRecords(end, 0);
    EXPECT_THROW(FindEndRecord(bytes.data(), 21), TNoEndRecord);
    EXPECT_THROW(FindEndRecord(bytes.data(), 10), TNoEndRecord);
    const TFoundEnd whole = FindEndRecord(bytes.data(), bytes.size());
    EXPECT_TRUE(whole.exact);
    EXPECT_EQ(whole.record.comment, end.comment);
    // A comment cut short is taken as far as it goes, as Info-ZIP's unzip does.
    const TFoundEnd cut = FindEndRecord(bytes.data(), bytes.size() - 1);
    EXPECT_TRUE(cut.commentCut);
    EXPECT_EQ(cut.record.comment.size(), 99u);
}

TEST(SplitRecords, AnEndRecordReachingTheEndComesBeforeOnesFollowedByOtherBytes) {
    TEndRecord inner;
    inner.comment = {'a', 'b', 'c', 'd'};
    TEndRecord outer;
    outer.centralOffset = 7;
    TBytes bytes = BuildEndRecords(inner, 0);
    const TBytes tail = BuildEndRecords(outer, 0);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    bytes.push_back('!');  // a byte after the archive: no record reaches the end exactly
    const std::vector<TFoundEnd> found = FindEndRecords(bytes.data(), bytes.size());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].position, 26u);  // the later one first
    EXPECT_EQ(found[0].record.centralOffset, 7u);
    bytes.pop_back();
    EXPECT_TRUE(FindEndRecords(bytes.data(), bytes.size())[0].exact);
}

}  // namespace
