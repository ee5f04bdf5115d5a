// The error service: what a guard registers, what start-up raises, what the exit status counts.
#include "host/services/tavik_info.h"

#include <gtest/gtest.h>

#include "host/services/exceptions.h"
#include "host/services/tavik_programm.h"
#include "tests/support/host_fixture.h"
#include "tests/support/recording_frontend.h"

namespace tavik {
namespace {

class ErrorService : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::ResetHostServices();
        TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
    }
    void TearDown() override { testsupport::ResetHostServices(); }
    testsupport::FrontendLog log;
};

TEST_F(ErrorService, AGuardRegistersTheExceptionWithItsContextAndReturnsTheFailureValue) {
    testing::internal::CaptureStderr();
    const int result = Guarded("TdmOlvexArchiv.ExploreSystem", -1, []() -> int { throw EOlvex("kaputt"); });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, -1);
    EXPECT_NE(err.find("TdmOlvexArchiv.ExploreSystem: kaputt"), std::string::npos) << err;
    EXPECT_EQ(log.failures, std::vector<std::string>{"TdmOlvexArchiv.ExploreSystem: kaputt"});
    EXPECT_EQ(TavikInfo().FailureCount(), 1);
    EXPECT_EQ(Guarded("x", -1, [] { return 5; }), 5);
    EXPECT_EQ(TavikInfo().FailureCount(), 1);
}

TEST_F(ErrorService, FehlerRaiseThrowsWhatWasRegisteredOnce) {
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(TavikInfo().FehlerRaise("vendrask", 0, "", "", 0, 0));
    TavikInfo().RegisterFailure("a", "erstens");
    TavikInfo().RegisterFailure("b", "zweitens");
    try {
        TavikInfo().FehlerRaise("vendrask", 0, "", "", 0, 0);
        FAIL() << "nothing raised";
    } catch (const EOlvex& error) {
        EXPECT_EQ(std::string(error.what()), "erstens\nzweitens");
    }
    EXPECT_NO_THROW(TavikInfo().FehlerRaise("vendrask", 0, "", "", 0, 0));
    // Raised failures still count for the exit status.
    EXPECT_EQ(TavikInfo().FailureCount(), 2);
    testing::internal::GetCapturedStderr();
}

TEST_F(ErrorService, ResetErrorSpezNoWriteDropsTheLastPendingFailure) {
    testing::internal::CaptureStderr();
    TavikInfo().RegisterFailure("GetFileSize", "nicht lesbar");
    TavikInfo().ResetErrorSpezNoWrite(0, "", "", 0, 0);
    EXPECT_EQ(TavikInfo().FailureCount(), 0);
    EXPECT_NO_THROW(TavikInfo().FehlerRaise("vendrask", 0, "", "", 0, 0));
    TavikInfo().ResetErrorSpezNoWrite(0, "", "", 0, 0);  // nothing pending: no effect
    EXPECT_EQ(TavikInfo().FailureCount(), 0);
    testing::internal::GetCapturedStderr();
}

TEST_F(ErrorService, NonStandardExceptionsAreCaughtToo) {
    testing::internal::CaptureStderr();
    Guarded("TfrmVendrask.FormShow", [] { throw 42; });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(TavikInfo().FailureCount(), 1);
}

TEST_F(ErrorService, MessagesGoThroughTheFrontEnd) {
    TavikHinweisBox("Daten wurden erfolgreich gepackt.");
    log.answers = {idYes};
    EXPECT_EQ(TavikMessageBox("Soll ...?", "Frage", mbYesNo, TavikInfo().GetMeldungsFarbe(2)), idYes);
    EXPECT_EQ(TavikMessageBox("Noch einmal?", "Frage", mbYesNo, 0), idNo);
    TavikInfoProcessMessages(333);
    EXPECT_EQ(log.notices, std::vector<std::string>{"Daten wurden erfolgreich gepackt."});
    EXPECT_EQ(log.questions.size(), 2u);
    EXPECT_EQ(log.processMessagesCalls, 1);
}

}  // namespace
}  // namespace tavik
