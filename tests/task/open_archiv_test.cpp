// Opening an archive file by name through the task module: the engine's opening decides, the
// module keeps what it opened and forgets the archive opened before.
#include <gtest/gtest.h>

#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace vendrask {
namespace {

using testsupport::RunProcess;

class OpenArchiv : public ::testing::Test {
protected:
    void SetUp() override {
        host.Activate();
        testsupport::WriteFile(dir / "beleg.txt", "Beleg 1;Kunde 7;\n");
        testsupport::ProcessOptions inDir;
        inDir.workDir = dir.str();
        ASSERT_EQ(RunProcess({"zip", "-q", (dir / "SK261207.001").string(), "beleg.txt"}, inDir).status, 0);
        ASSERT_EQ(RunProcess({"bsdtar", "-czf", (dir / "SK261207.002").string(), "beleg.txt"}, inDir).status, 0);
    }

    testsupport::HostFixture host;
    testsupport::TempDir dir;
    TdmOlvexArchiv module{{"vendrask"}};
};

TEST_F(OpenArchiv, AZipNameIsTakenUnseenAndOtherNamesByWhatTheyHold) {
    module.SetArchivFileName((dir / "neu.ZIP").string());
    ASSERT_NE(module.Archiv(), nullptr);
    EXPECT_EQ(module.Archiv()->Format(), TArchivFormat::Zip);
    EXPECT_EQ(module.ArchivFileName(), (dir / "neu.ZIP").string());

    module.SetArchivFileName((dir / "SK261207.001").string());
    ASSERT_NE(module.Archiv(), nullptr);
    EXPECT_EQ(module.Archiv()->Format(), TArchivFormat::Zip);
    EXPECT_EQ(module.Archiv()->ArchivFile, (dir / "SK261207.001").string());

    module.SetArchivFileName((dir / "SK261207.002").string());
    ASSERT_NE(module.Archiv(), nullptr);
    EXPECT_EQ(module.Archiv()->Format(), TArchivFormat::Other);
    EXPECT_EQ(module.ArchivFileName(), (dir / "SK261207.002").string());
    // The check's progress handler is not left behind on the object the workbench goes on with.
    EXPECT_FALSE(module.Archiv()->OnCommandProgress);
}

TEST_F(OpenArchiv, AFileNeitherFormatAcceptsClosesTheArchiveOpenBefore) {
    module.SetArchivFileName((dir / "SK261207.001").string());
    ASSERT_NE(module.Archiv(), nullptr);
    module.SetArchivFileName((dir / "beleg.txt").string());
    EXPECT_EQ(module.Archiv(), nullptr);
    EXPECT_EQ(module.ArchivFileName(), "");
    module.SetArchivFileName((dir / "fehlt.001").string());
    EXPECT_EQ(module.Archiv(), nullptr);
    EXPECT_EQ(module.ArchivFileName(), "");
}

}  // namespace
}  // namespace vendrask
