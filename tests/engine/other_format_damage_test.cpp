// Format 1: what the reader warns of is never dropped. A damaged header, bytes that are no header
// before the end, and a malformed pax record fail list, check and extraction alike, naming where;
// extraction still writes every entry that can be read. GNU tar is the peer for each verdict.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;
using tavik::TErrorKind;

// Three entries a.txt, b.txt, c.txt, damaged in various ways.
const char* const kMakeDamagedTars = R"(
import io, sys, tarfile
out = sys.argv[1]
def entry(name, data, pax=None):
    info = tarfile.TarInfo(name)
    info.size = len(data)
    info.mode = 0o644
    info.mtime = 1700000000
    if pax:
        info.pax_headers = pax
    return info, data
def write(name, entries, form=tarfile.USTAR_FORMAT):
    with tarfile.open(out + '/' + name, 'w', format=form) as t:
        for info, data in entries:
            t.addfile(info, io.BytesIO(data))
def three(pax=None, form=tarfile.USTAR_FORMAT):
    return [entry('a.txt', b'alpha\n' * 10), entry('b.txt', b'bravo\n' * 300, pax), entry('c.txt', b'charlie\n')]
write('heil.tar', three())
sound = open(out + '/heil.tar', 'rb').read()
# b.txt's header (at 1024) with a destroyed checksum: b.txt and its data are no entry.
middle = bytearray(sound)
middle[1024 + 148:1024 + 156] = b'XXXXXXX\0'
open(out + '/kopf-mitte.tar', 'wb').write(middle)
# A block of rubbish after the last entry (which ends at 4608), before the zero blocks.
open(out + '/muell-hinten.tar', 'wb').write(sound[:4608] + b'Y' * 512 + sound[4608:])
# A block of rubbish between a.txt and b.txt.
open(out + '/muell-mitte.tar', 'wb').write(sound[:1024] + b'X' * 512 + sound[1024:])
write('pax-groesse.tar', three({'size': 'viel'}), tarfile.PAX_FORMAT)
write('pax-unbekannt.tar', three({'VENDRASK.notiz': 'hallo', 'foo': 'bar'}), tarfile.PAX_FORMAT)
write('pax-zeit.tar', three({'mtime': 'gestern'}), tarfile.PAX_FORMAT)
# A pax header whose record claims more bytes than it has.
def raw(name, size, kind):
    info = tarfile.TarInfo(name)
    info.size = size
    info.type = kind
    info.mode = 0o644
    info.mtime = 1700000000
    return info.tobuf(format=tarfile.USTAR_FORMAT)
def padded(data):
    return data + b'\0' * (-len(data) % 512)
record = b'99 path=lang/b.txt\n'
archive = raw('a.txt', 6, tarfile.REGTYPE) + padded(b'alpha\n')
archive += raw('PaxHeaders/b.txt', len(record), tarfile.XHDTYPE) + padded(record)
archive += raw('b.txt', 6, tarfile.REGTYPE) + padded(b'bravo\n')
archive += raw('c.txt', 8, tarfile.REGTYPE) + padded(b'charlie\n') + b'\0' * 10240
open(out + '/pax-pfad.tar', 'wb').write(archive)
)";

struct TDamageCase {
    const char* file;
    bool gnuTarFails;       // GNU tar's verdict (exit status 2)
    std::string failure;    // what list, check and extraction all say; empty: all succeed
    std::vector<std::string> listed;  // the entries the list holds afterwards
    TTree extracted;
};

std::vector<TDamageCase> DamageCases() {
    std::string alpha, bravo;
    for (int i = 0; i < 10; ++i) alpha += "alpha\n";
    for (int i = 0; i < 300; ++i) bravo += "bravo\n";
    const TTree all{{"a.txt", alpha}, {"b.txt", bravo}, {"c.txt", "charlie\n"}};
    return {
        {"heil.tar", false, "", {"a.txt", "b.txt", "c.txt"}, all},
        {"kopf-mitte.tar", true, "zwischen den Einträgen „a.txt“ und „c.txt“ stehen Daten, die kein gültiger Eintragskopf",
         {"a.txt", "c.txt"}, {{"a.txt", alpha}, {"c.txt", "charlie\n"}}},
        {"muell-mitte.tar", true, "zwischen den Einträgen „a.txt“ und „b.txt“", {"a.txt", "b.txt", "c.txt"}, all},
        {"muell-hinten.tar", true, "nach dem letzten Eintrag „c.txt“, vor dem Ende des Archivs", {"a.txt", "b.txt", "c.txt"},
         all},
        // libarchive takes the size for 0: b.txt comes out empty, and its data is no header.
        {"pax-groesse.tar", true, "zwischen den Einträgen „b.txt“ und „c.txt“", {"a.txt", "b.txt", "c.txt"},
         {{"a.txt", alpha}, {"b.txt", ""}, {"c.txt", "charlie\n"}}},
        {"pax-pfad.tar", true, "„b.txt“: Der Kopf des Eintrags ist fehlerhaft (libarchive: Ignoring malformed pax",
         {"a.txt", "b.txt", "c.txt"}, {{"a.txt", "alpha\n"}, {"c.txt", "charlie\n"}}},
        {"pax-unbekannt.tar", false, "", {"a.txt", "b.txt", "c.txt"}, all},
        // GNU tar calls a time that is no number malformed; libarchive reads it as 0 without a word,
        // so all three commands agree on a sound archive whose b.txt dates from 1970.
        {"pax-zeit.tar", true, "", {"a.txt", "b.txt", "c.txt"}, all},
    };
}

TEST(OtherFormatDamage, ListCheckAndExtractionGiveOneVerdictAndRescueWhatCanBeRead) {
    testsupport::TempDir dir;
    Python(kMakeDamagedTars, {dir.str()});
    for (const TDamageCase& damage : DamageCases()) {
        SCOPED_TRACE(damage.file);
        const std::string file = (dir / damage.file).string();
        const auto gnu = Tool({"tar", "-tf", file});
        EXPECT_EQ(gnu.status != 0, damage.gnuTarFails) << gnu.err;
        const bool sound = damage.failure.empty();

        auto engine = Engine(TArchivFormat::Other, file);
        TRecorder recorder;
        recorder.Attach(*engine);
        const auto expectVerdict = [&](bool ok, const char* command) {
            EXPECT_EQ(ok, sound) << command << ": " << engine->LastError();
            if (sound) return;
            EXPECT_NE(engine->LastError().find(damage.failure), std::string::npos) << command << ": " << engine->LastError();
            EXPECT_EQ(engine->LastErrorKind(), TErrorKind::DamagedArchive) << command;
        };
        expectVerdict(engine->ExecuteArchivList(), "list");
        // The entries read stay available after a failed list.
        EXPECT_EQ(EntryNames(*engine), damage.listed);
        expectVerdict(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple), "verify");
        expectVerdict(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete), "verify --complete");
        engine->ExtractDir = (dir / (std::string(damage.file) + ".aus")).string();
        expectVerdict(engine->ExecuteArchivExtract(), "extract");
        EXPECT_EQ(ReadTree(engine->ExtractDir), damage.extracted);
        ExpectNoChildren();
    }
}

// Without an OnError handler the first damaged entry ends the command at once; the entries
// listed before it stay.
TEST(OtherFormatDamage, WithoutAHandlerADamagedHeaderEndsTheListThere) {
    testsupport::TempDir dir;
    Python(kMakeDamagedTars, {dir.str()});
    auto engine = Engine(TArchivFormat::Other, (dir / "pax-pfad.tar").string());
    EXPECT_FALSE(engine->ExecuteArchivList());
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::DamagedArchive);
    EXPECT_EQ(EntryNames(*engine), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// Chosen entries around the damage are extracted by their positions in the list, and the
// command still names the damage.
TEST(OtherFormatDamage, ChosenEntriesAroundTheDamageAreRescued) {
    testsupport::TempDir dir;
    Python(kMakeDamagedTars, {dir.str()});
    auto engine = Engine(TArchivFormat::Other, (dir / "kopf-mitte.tar").string());
    EXPECT_FALSE(engine->ExecuteArchivList());
    ASSERT_EQ(engine->GetArchivItemsCount(), 2);
    engine->ExtractDir = (dir / "aus").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract({1}));
    EXPECT_NE(engine->LastError().find("„a.txt“ und „c.txt“"), std::string::npos) << engine->LastError();
    EXPECT_EQ(ReadTree(dir / "aus"), (TTree{{"c.txt", "charlie\n"}}));
}

// What a user at a terminal sees: status 1 and the place of the damage from each command;
// extraction writes the entries around it.
TEST(OtherFormatDamage, TheCommandLineFailsEachCommandAndExtractsTheReadableEntries) {
    testsupport::TempDir dir;
    Python(kMakeDamagedTars, {dir.str()});
    const std::string file = (dir / "kopf-mitte.tar").string();
    const std::string place = "zwischen den Einträgen „a.txt“ und „c.txt“";
    const auto listed = Tool({Cli(), "list", file});
    EXPECT_EQ(listed.status, 1) << listed.err;
    EXPECT_NE(listed.err.find(place), std::string::npos) << listed.err;
    const auto checked = Tool({Cli(), "verify", "--complete", file});
    EXPECT_EQ(checked.status, 1) << checked.err;
    EXPECT_NE(checked.err.find(place), std::string::npos) << checked.err;
    EXPECT_TRUE(checked.out.empty()) << checked.out;
    const auto extracted = Tool({Cli(), "extract", file, (dir / "aus").string()});
    EXPECT_EQ(extracted.status, 1) << extracted.err;
    EXPECT_NE(extracted.err.find(place), std::string::npos) << extracted.err;
    EXPECT_NE(extracted.err.find("Alle lesbaren Einträge wurden entpackt"), std::string::npos) << extracted.err;
    EXPECT_EQ(extracted.out.find("erfolgreich"), std::string::npos) << extracted.out;
    EXPECT_EQ(ReadTree(dir / "aus").size(), 2u);
    EXPECT_TRUE(fs::exists(dir / "aus" / "c.txt"));
}

// A compressed archive cut short: the entries before the cut are written, and the failure
// names the last of them.
TEST(OtherFormatDamage, ACutArchiveIsExtractedUpToTheCut) {
    testsupport::TempDir dir;
    WriteTree(dir / "src", {{"a.txt", TextRecords(20)}, {"b.bin", Incompressible(300'000, 3)}});
    ASSERT_EQ(Tool({"tar", "-czf", (dir / "ganz.tar.gz").string(), "a.txt", "b.bin"}, (dir / "src").string()).status, 0);
    const std::string whole = testsupport::ReadFile(dir / "ganz.tar.gz");
    testsupport::WriteFile(dir / "kurz.tar.gz", whole.substr(0, whole.size() / 2));
    auto engine = Engine(TArchivFormat::Other, (dir / "kurz.tar.gz").string());
    TRecorder recorder;
    recorder.Attach(*engine);
    EXPECT_FALSE(engine->ExecuteArchivList());
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::DamagedArchive);
    engine->ExtractDir = (dir / "aus").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    EXPECT_EQ(engine->LastErrorKind(), TErrorKind::DamagedArchive);
    EXPECT_EQ(ReadTree(dir / "aus"), (TTree{{"a.txt", TextRecords(20)}}));
}

}  // namespace
}  // namespace archivtest
