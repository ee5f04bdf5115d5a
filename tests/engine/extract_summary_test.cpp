// An extraction that did not write everything says how much it wrote and why; the success text
// stays for the case where every file was written or was there already, the same.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivConflictAnswer;
using tavik::TArchivFormat;

struct TSummaryCase {
    const char* name;
    TTree before;  // in the target before the extraction
    std::optional<TArchivConflictAnswer> answer;  // none: no question, a different file is refused
    bool ok;
    const char* summary;
    TTree after;
};

const TTree kArchive{{"a.txt", "eins"}, {"b.txt", "zwei"}, {"c.txt", "drei"}};

std::vector<TSummaryCase> Cases() {
    return {
        {"Leer", {}, std::nullopt, true, "", kArchive},
        {"GleicheDateienSindKeinKonflikt", kArchive, std::nullopt, true, "", kArchive},
        {"NeinBehaeltZwei",
         {{"b.txt", "alt"}, {"c.txt", "alt"}},
         TArchivConflictAnswer::No,
         true,
         "1 von 3 Dateien entpackt; 2 vorhandene Dateien wurden wie gewünscht behalten.",
         {{"a.txt", "eins"}, {"b.txt", "alt"}, {"c.txt", "alt"}}},
        {"JaErsetzt", {{"b.txt", "alt"}}, TArchivConflictAnswer::YesAll, true, "", kArchive},
        {"OhneFrageAbgelehnt",
         {{"c.txt", "alt"}},
         std::nullopt,
         false,
         "2 von 3 Dateien entpackt; 1 konnte nicht entpackt werden.",
         {{"a.txt", "eins"}, {"b.txt", "zwei"}, {"c.txt", "alt"}}},
    };
}

class ExtractSummary : public ::testing::TestWithParam<TSummaryCase> {
protected:
    testsupport::TempDir dir;
};

TEST_P(ExtractSummary, SaysWhatWasWrittenWhenItWasNotEverything) {
    const TSummaryCase& c = GetParam();
    WriteTree(dir / "quelle", kArchive);
    ASSERT_EQ(Tool({Cli(), "pack", "a.zip", "quelle/a.txt", "quelle/b.txt", "quelle/c.txt"}, dir.str()).status, 0);
    WriteTree(dir / "ziel", c.before);

    auto engine = Engine(TArchivFormat::Zip, (dir / "a.zip").string());
    engine->ExtractDir = (dir / "ziel").string();
    if (c.answer)
        engine->OnConflict = [&c](tavik::TArchivFormatAbstract&, const std::string&) { return *c.answer; };
    TRecorder recorder;
    recorder.Attach(*engine);
    EXPECT_EQ(engine->ExecuteArchivExtract(), c.ok) << engine->LastError();
    EXPECT_EQ(engine->ExtractSummary(), c.summary);
    EXPECT_EQ(ReadTree(dir / "ziel"), c.after);

    // The command line says the same, and its success text only when everything was written.
    fs::remove_all(dir / "ziel");
    WriteTree(dir / "ziel", c.before);
    if (c.answer) return;  // the command line asks nothing
    const auto cli = Tool({Cli(), "extract", "a.zip", "ziel"}, dir.str());
    EXPECT_EQ(cli.status, c.ok ? 0 : 1);
    EXPECT_NE((cli.out + cli.err).find(*c.summary ? c.summary : "Daten wurden erfolgreich entpackt."),
              std::string::npos)
        << cli.out << cli.err;
    if (*c.summary) {
        EXPECT_EQ(cli.out.find("erfolgreich"), std::string::npos) << cli.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractSummary, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TSummaryCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace archivtest
