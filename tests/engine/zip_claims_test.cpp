// A ZIP archive's central directory may claim anything: counts, sizes, lengths. Reading it takes
// memory in proportion to the file, never to the claims. Measured on vendrask-archiv with the
// peak resident size that /usr/bin/time reports, against the same archive with honest figures.
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

const char* const kMakeClaims = R"(
import io, struct, sys, zipfile
out = sys.argv[1]
buf = io.BytesIO()
with zipfile.ZipFile(buf, 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('a.txt', 'alpha ' * 100)
data = bytearray(buf.getvalue())
open(out + '/ehrlich.zip', 'wb').write(data)
eocd = data.rfind(b'PK\x05\x06')
cd_size, cd_off = struct.unpack_from('<II', data, eocd + 12)
cen = data.find(b'PK\x01\x02')
loc = data.find(b'PK\x03\x04')
d = bytearray(data); struct.pack_into('<HH', d, eocd + 8, 0xFFFE, 0xFFFE)
open(out + '/viele.zip', 'wb').write(d)
end = bytearray(data[eocd:]); struct.pack_into('<HHII', end, 8, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
locator = struct.pack('<IIQI', 0x07064b50, 0, eocd, 1)
for name, size in (('zip64-riesig.zip', 1 << 40), ('zip64-viele.zip', cd_size)):
    z64 = struct.pack('<IQHHIIQQQQ', 0x06064b50, 44, 45, 45, 0, 0, 1 << 40, 1 << 40, size, cd_off)
    open(out + '/' + name, 'wb').write(bytes(data[:eocd]) + z64 + locator + bytes(end))
for name, size in (('60mb.zip', 60 << 20), ('4gb.zip', 0xFFFFFFFE)):
    d = bytearray(data)
    struct.pack_into('<I', d, cen + 24, size); struct.pack_into('<I', d, loc + 22, size)
    open(out + '/' + name, 'wb').write(d)
d = bytearray(data); struct.pack_into('<H', d, cen + 30, 0xFFFF)
open(out + '/extra.zip', 'wb').write(d)
)";

struct TMeasured {
    int status = -1;
    long peakKb = 0;
    std::string err;
};

TMeasured Measure(const std::vector<std::string>& command) {
    std::vector<std::string> argv{"/usr/bin/time", "-f", "PEAK %M", Cli()};
    argv.insert(argv.end(), command.begin(), command.end());
    const auto result = Tool(argv);
    TMeasured measured;
    measured.err = result.err;
    const std::size_t at = result.err.rfind("PEAK ");
    if (at != std::string::npos) measured.peakKb = std::stol(result.err.substr(at + 5));
    const std::size_t exit = result.err.find("Command exited with non-zero status ");
    measured.status = exit == std::string::npos ? 0 : std::stoi(result.err.substr(exit + 36));
    return measured;
}

TEST(ZipClaims, HugeCountsAndSizesInTheDirectoryTakeNoMemory) {
    testsupport::TempDir dir;
    Python(kMakeClaims, {dir.str()});
    const TMeasured honest = Measure({"verify", "--complete", (dir / "ehrlich.zip").string()});
    ASSERT_EQ(honest.status, 0) << honest.err;
    ASSERT_GT(honest.peakKb, 0) << honest.err;
    for (const char* name : {"viele.zip", "zip64-riesig.zip", "zip64-viele.zip", "60mb.zip", "4gb.zip", "extra.zip"}) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"list"}, std::vector<std::string>{"verify", "--complete"},
              std::vector<std::string>{"extract"}}) {
            std::vector<std::string> argv = command;
            argv.push_back((dir / name).string());
            if (command[0] == "extract") argv.push_back((dir / "aus").string());
            const TMeasured claimed = Measure(argv);
            EXPECT_LT(claimed.peakKb - honest.peakKb, 16 * 1024) << name << " " << command[0] << ": " << claimed.err;
            if (command[0] != "list") {
                EXPECT_EQ(claimed.status, 1) << name << " " << command[0] << ": " << claimed.err;
            }
        }
    }
    EXPECT_FALSE(fs::exists(dir / "aus" / "a.txt"));
}

}  // namespace
}  // namespace archivtest
