// Opens an arbitrary file as the program does, lists it and checks it completely, in both
// formats. Whatever the input, this must end without a crash, a hang or a leak.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/engine/archiv_format.h"
#include "host/engine/archiv_open.h"

namespace {

class TScratchFile {
public:
    TScratchFile(const std::uint8_t* data, std::size_t size) {
        const char* tmp = std::getenv("TMPDIR");
        FPath = std::string(tmp != nullptr ? tmp : "/tmp") + "/fuzz-archive-XXXXXX";
        const int fd = ::mkstemp(FPath.data());
        if (fd < 0) std::abort();
        while (size > 0) {
            const ssize_t n = ::write(fd, data, size);
            if (n <= 0) std::abort();
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    ~TScratchFile() { ::unlink(FPath.c_str()); }
    TScratchFile(const TScratchFile&) = delete;
    TScratchFile& operator=(const TScratchFile&) = delete;
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

void Exercise(tavik::TArchivFormatAbstract& archiv) {
    archiv.OnError = [](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, tavik::TArchivErrorKind,
                        const std::string&, const std::string&, bool& skip) { skip = true; };
    if (archiv.ExecuteArchivList()) {
        for (int i = 0; i < archiv.GetArchivItemsCount(); ++i) (void)archiv.GetArchivItem(i).FileName.size();
    }
    archiv.ExecuteArchivVerify(tavik::TArchivVerifyMode::Complete);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const TScratchFile file(data, size);
    if (auto archiv = tavik::OpenArchiv(file.Path())) Exercise(*archiv);
    // Also each format on its own, as the workbench does after a ".zip" name.
    for (const auto format : {tavik::TArchivFormat::Zip, tavik::TArchivFormat::Other}) {
        auto archiv = tavik::GetArchivFormatClass(format)();
        archiv->ArchivFile = file.Path();
        Exercise(*archiv);
    }
    return 0;
}
