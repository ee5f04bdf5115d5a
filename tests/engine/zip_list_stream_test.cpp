// Listing a ZIP archive as a stream: `vendrask-archiv list` prints the lines it printed when
// it read the whole directory first, for archives of every shape the directory reader takes
// (Zip64, bytes before the archive, directories, names with control characters), and a
// damaged directory shows the entries before the damage, then the same failure.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

// Writes the archives of the table into the folder named by its argument; times are fixed,
// and the child runs in UTC, so that the lines are the same on every machine.
const char* const kArchives = R"PY(
import os, struct, sys, zlib

DOS_TIME = (10 << 11) | (20 << 5) | 15      # 10:20:30
DOS_DATE = ((2020 - 1980) << 9) | (5 << 5) | 17  # 2020-05-17
UNIX, DOS = 0x0314, 0x0014


def stamp(seconds):
    return struct.pack("<HHBI", 0x5455, 5, 1, seconds)


def archive(path, entries, prefix=b"", zip64=False, total=None, broken=None, comment=lambda n: b""):
    """entries: (name bytes, data, made by, external attributes, flags, extra, zip64 sizes)."""
    local, central = [], []
    offset = 0
    for number, (name, data, made, attributes, flags, extra, big) in enumerate(entries):
        crc = zlib.crc32(data)
        size = 0xFFFFFFFF if big else len(data)
        z64 = struct.pack("<HHQQ", 1, 16, len(data), len(data)) if big else b""
        header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45 if big else 10, flags, 0, DOS_TIME, DOS_DATE, crc,
                             size, size, len(name), len(z64 + extra)) + name + z64 + extra
        record = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50 if number != broken else 0x02014B51, made,
                             45 if big else 10, flags, 0, DOS_TIME, DOS_DATE, crc, size, size, len(name),
                             len(z64 + extra), len(comment(number)), 0, 0, attributes, offset)
        record += name + z64 + extra + comment(number)
        local.append(header + data)
        central.append(record)
        offset += len(header) + len(data)
    directory = b"".join(central)
    count = len(entries) if total is None else total
    tail = b""
    if zip64:
        tail += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, UNIX, 45, 0, 0, count, count, len(directory), offset)
        tail += struct.pack("<IIQI", 0x07064B50, 0, offset + len(directory), 1)
        tail += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    else:
        tail += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(directory), offset, 0)
    with open(path, "wb") as out:
        out.write(prefix + b"".join(local) + directory + tail)


def file(name, data=b"", made=UNIX, mode=0o100644, flags=0, extra=b"", big=False):
    return (name, data, made, mode << 16, flags, extra, big)


out = sys.argv[1]
os.makedirs(out, exist_ok=True)
plain = [file(b"a.txt", b"Hallo\n"), file(b"daten/", mode=0o040755), file(b"daten/b.txt", b"Beleg 1;\n" * 40,
         extra=stamp(1_700_000_000)), (b"dosdir", b"", DOS, 0x10, 0, b"", False),
         file(b"unixdir", mode=0o040755), file(b"daten/leer.dat"), file(b"nur/lesbar.txt", b"x", mode=0o100444)]
archive(os.path.join(out, "plain.zip"), plain)
archive(os.path.join(out, "zip64.zip"), [file(b"gross.bin", b"0123456789", big=True), file(b"klein.txt", b"k"),
                                         file(b"ordner/", mode=0o040755)], zip64=True)
stub = b"#!/bin/sh\necho selbstentpackend\nexit 0\n" + b"\0" * 500
archive(os.path.join(out, "sfx.zip"), plain[:3], prefix=stub)
archive(os.path.join(out, "sfx.bin"), plain[:3], prefix=stub)
names = [file(b"tab\there.txt", b"1"), file(b"zeile\nneu.txt", b"2"), file(b"back\\slash.txt", b"3"),
         (b"win\\pfad\\datei.txt", b"4", DOS, 0x20, 0, b"", False), file("grüße.txt".encode(), b"5", flags=0x800),
         (b"\x81ber.txt", b"6", DOS, 0x20, 0, b"", False), file(b"\x01ctl\rcr\x7f.txt", b"7")]
archive(os.path.join(out, "names.zip"), names)
many = [file(b"beleg%04d.txt" % n, b"Beleg %d\n" % n) for n in range(4)]
archive(os.path.join(out, "truncated.zip"), many, total=5)
archive(os.path.join(out, "badsig.zip"), many, broken=2)
with open(os.path.join(out, "plain.zip"), "rb") as source:
    whole = source.read()
cut = whole.rfind(b"PK\x01\x02") - 30
with open(os.path.join(out, "cut.zip"), "wb") as target:
    target.write(whole[:cut])
# Central headers of up to 125 KB (a long extra field and comment each): a directory of 7.5 MB
# whose headers lie across the pieces in which it is read.
wide = [file(b"gross/kommentar%03d.txt" % n, b"x" * n,
             extra=struct.pack("<HH", 0xCAFE, 65000 - n * 7) + b"e" * (65000 - n * 7)) for n in range(60)]
archive(os.path.join(out, "wide.zip"), wide, comment=lambda n: b"c" * (60000 + n * 11))
)PY";

struct TListCase {
    const char* archive;
    int status;
    const char* out;
    const char* err;  // standard error as a whole
};

const char* const kPlain =
    "0\t6\t2020-05-17 10:20:30\ta.txt\n"
    "1\t0\t2020-05-17 10:20:30\tdaten/\n"
    "2\t360\t2023-11-14 22:13:20\tdaten/b.txt\n"
    "3\t0\t2020-05-17 10:20:30\tdosdir/\n"
    "4\t0\t2020-05-17 10:20:30\tunixdir/\n"
    "5\t0\t2020-05-17 10:20:30\tdaten/leer.dat\n"
    "6\t1\t2020-05-17 10:20:30\tnur/lesbar.txt\n";

const char* const kPrefixed =
    "0\t6\t2020-05-17 10:20:30\ta.txt\n"
    "1\t0\t2020-05-17 10:20:30\tdaten/\n"
    "2\t360\t2023-11-14 22:13:20\tdaten/b.txt\n";

const char* const kBeforeDamage[] = {
    "0\t8\t2020-05-17 10:20:30\tbeleg0000.txt\n",
    "1\t8\t2020-05-17 10:20:30\tbeleg0001.txt\n",
    "2\t8\t2020-05-17 10:20:30\tbeleg0002.txt\n",
    "3\t8\t2020-05-17 10:20:30\tbeleg0003.txt\n",
};

std::string Lines(std::size_t count) {
    std::string lines;
    for (std::size_t i = 0; i < count; ++i) lines += kBeforeDamage[i];
    return lines;
}

class ZipListStream : public ::testing::Test {
protected:
    void SetUp() override { Python(kArchives, {dir.str()}); }

    testsupport::ProcessResult List(const std::string& archive) {
        testsupport::ProcessOptions options;
        options.workDir = dir.str();
        options.env["TZ"] = "UTC";
        return testsupport::RunProcess({Cli(), "list", archive}, options);
    }

    testsupport::TempDir dir;
};

TEST_F(ZipListStream, PrintsTheLinesOfTheWholeDirectory) {
    const std::string beforeDamage4 = Lines(4), beforeDamage2 = Lines(2);
    const TListCase cases[] = {
        {"plain.zip", 0, kPlain, ""},
        {"zip64.zip", 0,
         "0\t10\t2020-05-17 10:20:30\tgross.bin\n"
         "1\t1\t2020-05-17 10:20:30\tklein.txt\n"
         "2\t0\t2020-05-17 10:20:30\tordner/\n",
         ""},
        {"sfx.zip", 0, kPrefixed, ""},
        // Not named .zip: the simple check runs before the list, as for any other file.
        {"sfx.bin", 0, kPrefixed, ""},
        {"names.zip", 0,
         "0\t1\t2020-05-17 10:20:30\ttab\\there.txt\n"
         "1\t1\t2020-05-17 10:20:30\tzeile\\nneu.txt\n"
         "2\t1\t2020-05-17 10:20:30\tback\\\\slash.txt\n"
         "3\t1\t2020-05-17 10:20:30\twin/pfad/datei.txt\n"
         "4\t1\t2020-05-17 10:20:30\tgr\xC3\xBC\xC3\x9F" "e.txt\n"
         "5\t1\t2020-05-17 10:20:30\t\xC3\xBC" "ber.txt\n"
         "6\t1\t2020-05-17 10:20:30\t\\001ctl\\rcr\\177.txt\n",
         ""},
        {"truncated.zip", 1, beforeDamage4.c_str(),
         "vendrask-archiv: Das Archiv „truncated.zip“ ist beschädigt oder kein ZIP-Archiv (das "
         "Inhaltsverzeichnis ist unvollständig) und kann nicht gelesen werden.\n"},
        {"badsig.zip", 1, beforeDamage2.c_str(),
         "vendrask-archiv: Das Archiv „badsig.zip“ ist beschädigt oder kein ZIP-Archiv (ein Eintrag des "
         "Inhaltsverzeichnisses hat eine falsche Kennung) und kann nicht gelesen werden.\n"},
        {"cut.zip", 1, "",
         "vendrask-archiv: Das Archiv „cut.zip“ ist beschädigt oder kein ZIP-Archiv (das Ende des Archivs "
         "(Endsatz des Inhaltsverzeichnisses) fehlt) und kann nicht gelesen werden.\n"},
    };
    for (const TListCase& c : cases) {
        SCOPED_TRACE(c.archive);
        const testsupport::ProcessResult list = List(c.archive);
        EXPECT_EQ(list.status, c.status);
        EXPECT_EQ(list.out, c.out);
        EXPECT_EQ(list.err, c.err);
    }
}

// What each entry of the stream carries is what the list read whole gives, item by item; a
// damaged directory fails with the same reason and kind after the entries before the damage.
TEST_F(ZipListStream, GivesTheItemsOfTheWholeList) {
    const struct {
        const char* archive;
        std::size_t beforeDamage;  // entries given when the list fails
    } cases[] = {{"plain.zip", 0},     {"zip64.zip", 0},  {"sfx.zip", 0}, {"names.zip", 0},
                 {"truncated.zip", 4}, {"badsig.zip", 2}, {"cut.zip", 0}, {"wide.zip", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        const std::string path = (dir / c.archive).string();
        auto whole = Engine(tavik::TArchivFormat::Zip, path);
        const bool listed = whole->ExecuteArchivList();
        auto stream = Engine(tavik::TArchivFormat::Zip, path);
        std::vector<tavik::TFileInfoItem> items;
        std::vector<std::int64_t> indexes;
        const bool streamed = stream->ExecuteArchivListEach([&](std::int64_t index, const tavik::TFileInfoItem& item) {
            indexes.push_back(index);
            items.push_back(item);
        });
        EXPECT_EQ(streamed, listed);
        EXPECT_EQ(stream->LastError(), whole->LastError());
        EXPECT_EQ(stream->LastErrorKind(), whole->LastErrorKind());
        EXPECT_EQ(stream->GetArchivItemsCount(), 0);
        const std::size_t expected = listed ? static_cast<std::size_t>(whole->GetArchivItemsCount()) : c.beforeDamage;
        ASSERT_EQ(items.size(), expected);
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(indexes[i], static_cast<std::int64_t>(i));
            if (!listed) continue;
            const tavik::TFileInfoItem& want = whole->GetArchivItem(static_cast<int>(i));
            EXPECT_EQ(items[i].RelDir, want.RelDir);
            EXPECT_EQ(items[i].FileName, want.FileName);
            EXPECT_EQ(items[i].Size, want.Size);
            EXPECT_EQ(items[i].DateTime, want.DateTime);
            EXPECT_EQ(items[i].Attributes, want.Attributes);
            EXPECT_EQ(items[i].MadeOnUnix, want.MadeOnUnix);
        }
    }
}

// A set of volumes is read as a stream too, over the files taken end to end.
TEST_F(ZipListStream, ListsASplitSet) {
    WriteTree(dir / "src", SampleTree());
    const auto pack = Tool({Cli(), "pack", "a.zip", "src/daten"}, dir.str());
    ASSERT_EQ(pack.status, 0) << pack.err;
    fs::create_directories(dir / "teile");
    auto splitter = Engine(tavik::TArchivFormat::Zip, (dir / "a.zip").string());
    ASSERT_TRUE(splitter->Span((dir / "a.zip").string(), (dir / "teile").string(), 64 * 1024))
        << splitter->LastError();
    ASSERT_TRUE(fs::exists(dir / "teile" / "a.z01"));
    const std::string set = (dir / "teile" / "a.zip").string();
    auto whole = Engine(tavik::TArchivFormat::Zip, set);
    ASSERT_TRUE(whole->ExecuteArchivList()) << whole->LastError();
    auto stream = Engine(tavik::TArchivFormat::Zip, set);
    std::vector<std::string> names;
    ASSERT_TRUE(stream->ExecuteArchivListEach([&](std::int64_t, const tavik::TFileInfoItem& item) {
        names.push_back(item.RelDir + "/" + item.FileName);
    })) << stream->LastError();
    ASSERT_EQ(names.size(), static_cast<std::size_t>(whole->GetArchivItemsCount()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const tavik::TFileInfoItem& want = whole->GetArchivItem(static_cast<int>(i));
        EXPECT_EQ(names[i], want.RelDir + "/" + want.FileName);
    }
}

}  // namespace
}  // namespace archivtest
