// The buffered file a new archive is written through: writes after seeks inside and outside
// its buffer, and writes larger than the buffer, all end up where they belong.
#include <zip.h>

#include "host/engine/pack/zip_archive_sink.h"
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
    tavik::TArchiveSink sink(path);
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

}  // namespace
}  // namespace archivtest
