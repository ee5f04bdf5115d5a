// The walk over local headers that the structure check and the copy into volumes share: what
// it measures and which damage it names, for hand-made entries.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/engine/zip/zip_entry_extent.h"

// The cases name only the fields in which they differ from a sound entry.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tavik::ziprec {
namespace {

using ::testing::HasSubstr;

class TMemory : public TByteReader {
public:
    explicit TMemory(TBytes bytes) : FBytes(std::move(bytes)) {}
    std::uint64_t Size() const override { return FBytes.size(); }
    void Read(std::uint64_t position, void* buffer, std::size_t size) override {
        if (position > FBytes.size() || size > FBytes.size() - position) throw TRecordError("hinter dem Ende");
        std::memcpy(buffer, FBytes.data() + position, size);
    }

private:
    TBytes FBytes;
};

struct TEntrySpec {
    std::string centralName = "a.txt";
    std::string localName = "a.txt";
    std::uint16_t flags = 0;
    std::uint16_t localMethod = 0;
    std::uint32_t localCrc = 0x1234;
    std::string data = "Hallo";
    std::string after;  // bytes after the data: a descriptor, or what follows
    std::uint32_t signature = kLocalHeaderSig;
};

struct TBuilt {
    TBytes bytes;
    TBytes central;  // one complete central header
};

TBuilt Build(const TEntrySpec& spec) {
    TBuilt built;
    TBytes& out = built.bytes;
    Put32(out, spec.signature);
    Put16(out, 20);
    Put16(out, spec.flags);
    Put16(out, spec.localMethod);
    Put32(out, 0);
    Put32(out, spec.localCrc);
    Put32(out, static_cast<std::uint32_t>(spec.data.size()));
    Put32(out, static_cast<std::uint32_t>(spec.data.size()));
    Put16(out, static_cast<std::uint16_t>(spec.localName.size()));
    Put16(out, 0);
    out.insert(out.end(), spec.localName.begin(), spec.localName.end());
    out.insert(out.end(), spec.data.begin(), spec.data.end());
    out.insert(out.end(), spec.after.begin(), spec.after.end());
    TCentralHeader header;
    header.flags = spec.flags;
    header.crc = 0x1234;
    header.compressedSize = header.uncompressedSize = spec.data.size();
    header.name.assign(spec.centralName.begin(), spec.centralName.end());
    built.central = SerializeCentralHeader(header, 0, 0);
    return built;
}

std::string Descriptor(bool signature, bool wide, std::size_t size) {
    TBytes d;
    if (signature) Put32(d, kSplitSig);
    Put32(d, 0x1234);
    if (wide) {
        Put64(d, size);
        Put64(d, size);
    } else {
        Put32(d, static_cast<std::uint32_t>(size));
        Put32(d, static_cast<std::uint32_t>(size));
    }
    return std::string(d.begin(), d.end());
}

TEST(ZipEntryExtent, MeasuresEntriesAndNamesTheirDamage) {
    struct TCase {
        const char* what;
        TEntrySpec spec;
        TExtentOptions options;
        std::string failure;  // empty: measured, with descriptorSize
        std::size_t descriptorSize = 0;
    };
    const TExtentOptions check{.agreeWithCentral = true, .measureDescriptor = false};
    const TExtentOptions copy{.agreeWithCentral = false, .measureDescriptor = true};
    const std::vector<TCase> cases{
        {"sound", {}, check, "", 0},
        {"sound, copied", {}, copy, "", 0},
        {"no local header", {.signature = kCentralHeaderSig}, copy, "der lokale Kopf des Eintrags „a.txt“ fehlt"},
        {"another name", {.localName = "b.txt"}, check, "nennt einen anderen Namen"},
        {"another name does not matter to the copy", {.localName = "b.txt"}, copy, "", 0},
        {"another method", {.localMethod = 8}, check, "nennt eine andere Kompressionsmethode"},
        {"another CRC", {.localCrc = 99}, check, "CRC oder Größen des Eintrags „a.txt“"},
        {"CRC left to the descriptor", {.flags = kFlagDataDescriptor, .localCrc = 0, .after = Descriptor(true, false, 5)}, check, "", 0},
        {"descriptor with signature", {.flags = kFlagDataDescriptor, .after = Descriptor(true, false, 5)}, copy, "", 16},
        {"descriptor without signature", {.flags = kFlagDataDescriptor, .after = Descriptor(false, false, 5)}, copy, "", 12},
        {"wide descriptor", {.flags = kFlagDataDescriptor, .after = Descriptor(true, true, 5)}, copy, "", 24},
        {"descriptor missing", {.flags = kFlagDataDescriptor, .after = "xy"}, copy, "die Datenbeschreibung des Eintrags „a.txt“ fehlt"},
    };
    for (const TCase& c : cases) {
        const TBuilt built = Build(c.spec);
        const TCentralView central = ViewCentralHeader(built.central.data(), built.central.size());
        TMemory memory(built.bytes);
        TEntryMeasure measure(memory, built.bytes.size(), c.options);
        if (c.failure.empty()) {
            const TEntryExtent extent = measure(central, 7, 0);
            EXPECT_EQ(extent.index, 7u) << c.what;
            EXPECT_EQ(extent.headerSize, kLocalHeaderSize + c.spec.localName.size()) << c.what;
            EXPECT_EQ(extent.dataSize, c.spec.data.size()) << c.what;
            EXPECT_EQ(extent.descriptorSize, c.descriptorSize) << c.what;
        } else {
            try {
                measure(central, 0, 0);
                ADD_FAILURE() << c.what << ": measured";
            } catch (const TRecordError& error) {
                EXPECT_THAT(error.what(), HasSubstr(c.failure)) << c.what;
            }
        }
    }
}

TEST(ZipEntryExtent, DataThatReachesTheDirectoryAndSharedBytesAreFound) {
    const TBuilt built = Build({});
    const TCentralView central = ViewCentralHeader(built.central.data(), built.central.size());
    TMemory memory(built.bytes);
    TEntryMeasure shortLimit(memory, built.bytes.size() - 1, {.agreeWithCentral = true, .measureDescriptor = false});
    try {
        shortLimit(central, 0, 0);
        ADD_FAILURE() << "measured";
    } catch (const TRecordError& error) {
        EXPECT_THAT(error.what(), HasSubstr("die Daten des Eintrags „a.txt“ reichen in das Inhaltsverzeichnis"));
    }

    std::vector<TEntryExtent> apart{{.index = 0, .start = 40, .headerSize = 30, .dataSize = 10},
                                    {.index = 1, .start = 0, .headerSize = 30, .dataSize = 10}};
    EXPECT_FALSE(SortAndFindOverlap(apart).has_value());
    EXPECT_EQ(apart.front().index, 1u);
    std::vector<TEntryExtent> shared{{.index = 0, .start = 0, .headerSize = 30, .dataSize = 10, .descriptorSize = 16},
                                     {.index = 1, .start = 50, .headerSize = 30, .dataSize = 10}};
    const auto overlap = SortAndFindOverlap(shared);
    ASSERT_TRUE(overlap.has_value());
    EXPECT_EQ(overlap->first, 0u);
    EXPECT_EQ(overlap->second, 1u);
}

}  // namespace
}  // namespace tavik::ziprec
