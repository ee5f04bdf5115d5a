// Listing a ZIP archive as a stream: `vendrask-archiv list` prints the lines it printed when
// it read the whole directory first, for archives of every shape the directory reader takes
// (Zip64, bytes before the archive, directories, names with control characters), and a
// damaged directory shows the entries before the damage, then the same failure.
#include "tests/engine/archiv_test_helpers.h"
#include "tests/engine/zip_list_archives.h"

namespace archivtest {
namespace {

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
        // Not named .zip: recognised by its end records, found after the stub.
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
