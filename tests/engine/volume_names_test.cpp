// The names of split volumes: which file names are volumes of which set, and the names the
// writer gives them.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host/engine/split/volume_names.h"

namespace {

using tavik::TVolumeName;
using Kind = TVolumeName::Kind;

struct TNameCase {
    const char* file;
    std::optional<Kind> kind;  // nothing: no volume
    const char* stem = "";
    std::uint32_t number = 0;
    bool upperCase = false;
};

const TNameCase kNames[] = {
    {"archiv.zip", Kind::Zip, "archiv"},
    {"archiv.ZIP", Kind::Zip, "archiv", 0, true},
    {"archiv.Zip", Kind::Zip, "archiv", 0, true},
    {"archiv.zIP", Kind::Zip, "archiv"},
    {"a.b.zip", Kind::Zip, "a.b"},
    {"archiv.z01", Kind::Volume, "archiv", 1},
    {"archiv.Z01", Kind::Volume, "archiv", 1, true},
    {"archiv.z09", Kind::Volume, "archiv", 9},
    {"archiv.z10", Kind::Volume, "archiv", 10},
    {"archiv.z100", Kind::Volume, "archiv", 100},
    {"archiv.z0100", Kind::Volume, "archiv", 100},
    {"archiv.z999999999", Kind::Volume, "archiv", 999999999},
    {"archiv.zip.z01", Kind::Volume, "archiv.zip", 1},
    {"archiv.zip.001", Kind::Piece, "archiv.zip", 1},
    {"archiv.ZIP.002", Kind::Piece, "archiv.ZIP", 2, true},
    {"archiv.zip.1000", Kind::Piece, "archiv.zip", 1000},
    {"SK261207.001.zip.003", Kind::Piece, "SK261207.001.zip", 3},
    {"archiv.z1", std::nullopt},
    {"archiv.z00", std::nullopt},
    {"archiv.z1000000000", std::nullopt},
    {"archiv.z0a", std::nullopt},
    {"archiv.z", std::nullopt},
    {"archiv.zi", std::nullopt},
    {"archiv.zipx", std::nullopt},
    {"archiv.zip.01", std::nullopt},
    {"archiv.zip.000", std::nullopt},
    {"archiv.zip.1000000000", std::nullopt},
    {"archiv.7z.001", std::nullopt},
    {"archiv.001", std::nullopt},
    {"archiv.zip.", std::nullopt},
    {"SK261207.001", std::nullopt},
    {".zip", std::nullopt},
    {".z01", std::nullopt},
    {".zip.001", std::nullopt},
    {"zip", std::nullopt},
    {"archiv", std::nullopt},
    {"", std::nullopt},
};

TEST(VolumeNames, WhichFileNamesAreVolumes) {
    for (const TNameCase& c : kNames) {
        SCOPED_TRACE(c.file);
        const std::optional<TVolumeName> name = tavik::ParseVolumeName(c.file);
        ASSERT_EQ(name.has_value(), c.kind.has_value());
        if (!name) continue;
        EXPECT_EQ(name->kind, *c.kind);
        EXPECT_EQ(name->stem, c.stem);
        EXPECT_EQ(name->stem + name->extension, c.file);
        EXPECT_EQ(name->number, c.number);
        EXPECT_EQ(name->upperCase, c.upperCase);
    }
}

TEST(VolumeNames, TheWriterNamesVolumesAndPieces) {
    struct TCase {
        std::uint32_t number;
        const char* volume;
        const char* upperVolume;
        const char* piece;
    };
    const TCase cases[] = {
        {1, ".z01", ".Z01", ".001"},     {9, ".z09", ".Z09", ".009"},      {10, ".z10", ".Z10", ".010"},
        {99, ".z99", ".Z99", ".099"},    {100, ".z100", ".Z100", ".100"},  {1000, ".z1000", ".Z1000", ".1000"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(tavik::VolumeExtension(c.number), c.volume);
        EXPECT_EQ(tavik::VolumeExtension(c.number, true), c.upperVolume);
        EXPECT_EQ(tavik::PieceExtension(c.number), c.piece);
        // What the writer names, the reader takes for the same set.
        const std::optional<TVolumeName> volume = tavik::ParseVolumeName(std::string("satz") + c.volume);
        ASSERT_TRUE(volume) << c.volume;
        EXPECT_EQ(volume->kind, Kind::Volume);
        EXPECT_EQ(volume->number, c.number);
        const std::optional<TVolumeName> piece = tavik::ParseVolumeName(std::string("satz.zip") + c.piece);
        ASSERT_TRUE(piece) << c.piece;
        EXPECT_EQ(piece->kind, Kind::Piece);
        EXPECT_EQ(piece->number, c.number);
    }
    EXPECT_EQ(tavik::ZipExtension(), ".zip");
    EXPECT_EQ(tavik::ZipExtension(true), ".ZIP");
}

TEST(VolumeNames, WithoutExtensionCutsOnlyTheFileName) {
    EXPECT_EQ(tavik::WithoutExtension("/srv/a/archiv.zip"), "/srv/a/archiv");
    EXPECT_EQ(tavik::WithoutExtension("/srv/a/archiv.zip.003"), "/srv/a/archiv.zip");
    EXPECT_EQ(tavik::WithoutExtension("/srv/a.b/archiv"), "/srv/a.b/archiv");
    EXPECT_EQ(tavik::WithoutExtension("archiv"), "archiv");
    EXPECT_EQ(tavik::WithoutExtension("archiv.zip"), "archiv");
}

TEST(VolumeNames, OutputsAreNamedAfterTheSet) {
    using tavik::TSplitSet;
    EXPECT_EQ(tavik::OutputBaseName("/a/archiv.zip", std::nullopt), "archiv");
    EXPECT_EQ(tavik::OutputBaseName("/a/archiv", std::nullopt), "archiv");
    EXPECT_EQ(tavik::OutputBaseName("/a/SK261207.001", std::nullopt), "SK261207");
    EXPECT_EQ(tavik::OutputBaseName("/a/satz.z01", TSplitSet{TSplitSet::Kind::Zip, {"/a/satz.z01", "/a/satz.zip"}}),
              "satz");
    EXPECT_EQ(tavik::OutputBaseName("/a/teile.zip.002",
                                    TSplitSet{TSplitSet::Kind::ByteSplit, {"/a/teile.zip.001", "/a/teile.zip.002"}}),
              "teile");
}

}  // namespace
