// Format 1 is read by the helper vendrask-leser under hard limits: inputs on which libarchive
// loops end with a German reason, abort stops the helper, no helper outlives its command.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TArchivFormat;
using tavik::TArchivVerifyMode;

std::string Data(const std::string& name) { return testsupport::TestDataDir() + "/" + name; }

// bsdtar itself does not end on these; the bound only keeps a broken test from hanging.
TEST(OtherFormatLimits, TheLoopingInputsHangLibarchiveItself) {
    for (const char* name : {"rockridge-ce-cycle.iso", "xar-doublelink.xar"}) {
        const auto result = Tool({"timeout", "5", "bsdtar", "-tf", Data(name)});
        EXPECT_EQ(result.status, 124) << "bsdtar ended on " << name << "; it no longer tests a loop";
    }
}

TEST(OtherFormatLimits, TheQuineUnpacksToItself) {
    const auto result = Tool({"gzip", "-dc", Data("gzip-quine.gz")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, testsupport::ReadFile(Data("gzip-quine.gz")));
}

TEST(OtherFormatLimits, ACyclicIsoEndsEveryCommandWithAReason) {
    testsupport::TempDir dir;
    auto engine = Engine(TArchivFormat::Other, Data("rockridge-ce-cycle.iso"));
    TRecorder recorder;
    recorder.Attach(*engine);
    // No sign of damage: a limit, named with its figure.
    const auto expectCpuLimit = [&engine](const char* command) {
        EXPECT_EQ(engine->LastErrorKind(), tavik::TErrorKind::LimitReached) << command;
        EXPECT_NE(engine->LastError().find("hat eine Schutzgrenze erreicht"), std::string::npos) << engine->LastError();
        EXPECT_NE(engine->LastError().find("mehr als 3 Sekunden Rechenzeit ohne Fortschritt"), std::string::npos)
            << engine->LastError();
        EXPECT_EQ(engine->LastError().find("beschädigt"), std::string::npos) << engine->LastError();
    };
    EXPECT_FALSE(engine->ExecuteArchivList());
    expectCpuLimit("list");
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    expectCpuLimit("verify");
    engine->ExtractDir = (dir / "out").string();
    EXPECT_FALSE(engine->ExecuteArchivExtract());
    expectCpuLimit("extract");
    EXPECT_GT(recorder.ends, 2);
    ExpectNoChildren();
}

TEST(OtherFormatLimits, AXarWithDoubledLinksEndsWithAReason) {
    auto engine = Engine(TArchivFormat::Other, Data("xar-doublelink.xar"));
    EXPECT_FALSE(engine->ExecuteArchivList());
    EXPECT_NE(engine->LastError().find("hat eine Schutzgrenze erreicht: Es wurde angehalten, weil libarchive"),
              std::string::npos)
        << engine->LastError();
    EXPECT_EQ(engine->LastErrorKind(), tavik::TErrorKind::LimitReached);
    ExpectNoChildren();
}

TEST(OtherFormatLimits, AGzipQuineIsRefusedWithAReason) {
    auto engine = Engine(TArchivFormat::Other, Data("gzip-quine.gz"));
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Simple));
    EXPECT_NE(engine->LastError().find("kann nicht gelesen werden"), std::string::npos) << engine->LastError();
    EXPECT_FALSE(engine->ExecuteArchivVerify(TArchivVerifyMode::Complete));
    ExpectNoChildren();
}

TEST(OtherFormatLimits, AbortStopsTheHelperWhileLibarchiveLoops) {
    auto engine = Engine(TArchivFormat::Other, Data("rockridge-ce-cycle.iso"));
    int calls = 0;
    engine->OnCommandProgress = [&calls](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand, std::int64_t,
                                         std::int64_t) {
        // The progress events go on while the helper says nothing: the window stays alive.
        if (++calls == 3) sender.Abort();
    };
    EXPECT_FALSE(engine->ExecuteArchivList());
    EXPECT_EQ(engine->LastError(), "Der Vorgang wurde abgebrochen.");
    EXPECT_GE(calls, 3);
    ExpectNoChildren();
}

TEST(OtherFormatLimits, TheCommandLineEndsOnEachLoopingInput) {
    testsupport::TempDir dir;
    for (const char* name : {"rockridge-ce-cycle.iso", "xar-doublelink.xar", "gzip-quine.gz"}) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"list"}, std::vector<std::string>{"verify", "--complete"},
              std::vector<std::string>{"extract"}}) {
            // Each command opens the file the same way first; one of them is enough for the others.
            if (std::string(name) != "rockridge-ce-cycle.iso" && command[0] != "list") continue;
            std::vector<std::string> argv{"timeout", "120", Cli()};
            argv.insert(argv.end(), command.begin(), command.end());
            argv.push_back(Data(name));
            if (command[0] == "extract") argv.push_back((dir / "out").string());
            const auto result = Tool(argv);
            EXPECT_EQ(result.status, 1) << name << " " << command[0] << ": " << result.err;
            EXPECT_NE(result.err.find(name), std::string::npos) << result.err;
            EXPECT_TRUE(result.out.empty()) << result.out;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "out" / std::string(200, 'n')));
}

// A helper that cannot be found is a clear failure, not a hang or a crash: the engine looks for
// it beside the running program only.
TEST(OtherFormatLimits, TheHelperIsFoundBesideTheProgram) {
    EXPECT_TRUE(fs::exists(testsupport::BinDir() + "/vendrask-leser"));
    const auto usage = Tool({testsupport::BinDir() + "/vendrask-leser", "unsinn"}, {}, "");
    EXPECT_EQ(usage.status, 2);
}

// The helper reads only what it is given as standard input, under its limits.
TEST(OtherFormatLimits, TheHelperReportsFramesForATar) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "a.txt", "alpha");
    ASSERT_EQ(Tool({"bsdtar", "-cf", (dir / "a.tar").string(), "a.txt"}, dir.str()).status, 0);
    const auto listed =
        Tool({"sh", "-c", "exec \"$0\" liste < \"$1\"", testsupport::BinDir() + "/vendrask-leser", (dir / "a.tar").string()});
    ASSERT_EQ(listed.status, 0) << listed.err;
    ASSERT_GE(listed.out.size(), 5u);
    EXPECT_EQ(listed.out[0], '\x01');  // an entry first
    EXPECT_NE(listed.out.find("a.txt"), std::string::npos);
    EXPECT_EQ(listed.out.substr(listed.out.size() - 5), std::string("\x06\0\0\0\0", 5));  // then the end
    EXPECT_EQ(listed.out.find("alpha"), std::string::npos);  // and no data
}

}  // namespace
}  // namespace archivtest

namespace archivtest {
namespace {

TEST(OtherFormatLimits, ANamedPipeIsNoArchiveAndDoesNotBlock) {
    testsupport::TempDir dir;
    ASSERT_EQ(Tool({"mkfifo", (dir / "rohr").string()}).status, 0);
    auto engine = tavik::GetArchivFormatClass(tavik::TArchivFormat::Other)();
    engine->ArchivFile = (dir / "rohr").string();
    EXPECT_FALSE(engine->ExecuteArchivList());
    EXPECT_NE(engine->LastError().find("keine gewöhnliche Datei"), std::string::npos) << engine->LastError();
}

}  // namespace
}  // namespace archivtest
