// The buffered file a new archive is written through: writes after seeks inside and outside
// its buffer, and writes larger than the buffer, all end up where they belong.
#include <fcntl.h>
#include <zip.h>

#include <filesystem>

#include "host/engine/pack/zip_archive_sink.h"
#include "host/services/unique_fd.h"
#include "host/engine/zip/zip_handles.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

void Write(zip_source_t* source, const std::string& data) {
    ASSERT_EQ(zip_source_write(source, data.data(), data.size()), static_cast<zip_int64_t>(data.size()));
}

void Seek(zip_source_t* source, zip_int64_t offset, int whence) {
    ASSERT_EQ(zip_source_seek_write(source, offset, whence), 0);
}

TEST(ArchiveSink, WritesLandWhereTheyBelongWhateverTheBuffer) {
    testsupport::TempDir dir;
    const std::string path = (dir / "neu.zip").string();
    testsupport::WriteFile(path, "alter Inhalt, der verschwindet");
    const tavik::TUniqueFd fd(open(path.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(fd);
    tavik::TArchiveSink sink(fd.Get());
    zip_error_t error;
    zip_error_init(&error);
    tavik::TZipSourcePtr source(sink.Create(&error));
    ASSERT_TRUE(source);
    ASSERT_EQ(zip_source_begin_write(source.get()), 0);

    std::string expected;
    const auto put = [&](std::size_t at, const std::string& data) {
        if (expected.size() < at + data.size()) expected.resize(at + data.size(), '\0');
        expected.replace(at, data.size(), data);
    };
    Write(source.get(), "KOPF");  // a header written again below, inside the buffer
    put(0, "KOPF");
    const std::string big = Incompressible(1'500'000, 3);  // larger than the buffer
    Write(source.get(), big);
    put(4, big);
    Seek(source.get(), 0, SEEK_SET);  // back before the buffer: it goes to the file first
    Write(source.get(), "kopf");
    put(0, "kopf");
    Seek(source.get(), 0, SEEK_END);
    EXPECT_EQ(zip_source_tell_write(source.get()), static_cast<zip_int64_t>(expected.size()));
    for (int i = 0; i < 300; ++i) {  // many small entries: header, data, header again, onwards
        const auto at = static_cast<std::size_t>(zip_source_tell_write(source.get()));
        Write(source.get(), "H" + std::to_string(i));
        put(at, "H" + std::to_string(i));
        const std::string data = TextRecords(i % 40);
        Write(source.get(), data);
        put(at + std::to_string(i).size() + 1, data);
        Seek(source.get(), static_cast<zip_int64_t>(at), SEEK_SET);
        Write(source.get(), "X");
        put(at, "X");
        Seek(source.get(), 0, SEEK_END);
    }
    ASSERT_EQ(zip_source_commit_write(source.get()), 0);
    EXPECT_EQ(testsupport::ReadFile(path), expected);
    zip_error_fini(&error);
}

// Whatever is put under the file's name while the archive is written is never written, truncated
// or removed: the sink knows the descriptor only.
TEST(ArchiveSink, WritesAndRemovesThroughItsDescriptorOnlyNeverByName) {
    testsupport::TempDir dir;
    const std::string path = (dir / "neu.zip").string();
    testsupport::WriteFile(path, "");
    const tavik::TUniqueFd fd(open(path.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(fd);
    std::filesystem::rename(path, (dir / "beiseite").string());
    testsupport::WriteFile(path, "fremd");
    tavik::TArchiveSink sink(fd.Get());
    zip_error_t error;
    zip_error_init(&error);
    tavik::TZipSourcePtr source(sink.Create(&error));
    ASSERT_TRUE(source);
    ASSERT_EQ(zip_source_begin_write(source.get()), 0);
    Write(source.get(), "Archiv");
    ASSERT_EQ(zip_source_commit_write(source.get()), 0);
    EXPECT_EQ(testsupport::ReadFile(dir / "beiseite"), "Archiv");
    EXPECT_EQ(testsupport::ReadFile(path), "fremd");
    EXPECT_FALSE(sink.Removed());
    zip_error_fini(&error);

    // An archive that libzip closes without entries: the file is emptied, not removed by name,
    // and its owner learns not to place it.
    tavik::TArchiveSink empty(fd.Get());
    zip_error_init(&error);
    tavik::TZipSourcePtr target(empty.Create(&error));
    ASSERT_TRUE(target);
    zip_t* archive = zip_open_from_source(target.get(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    target.release();
    ASSERT_EQ(zip_close(archive), 0);
    EXPECT_TRUE(empty.Removed());
    EXPECT_EQ(testsupport::ReadFile(dir / "beiseite"), "");
    EXPECT_EQ(testsupport::ReadFile(path), "fremd");
    zip_error_fini(&error);
}

}  // namespace
}  // namespace archivtest
