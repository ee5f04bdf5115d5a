#pragma once
// vendrask-leser's cage, as file(1) confines libmagic: once it is up, the helper can read its
// standard input, write to its standard output and error, manage its memory and its CPU limit,
// and end. Any other system call kills it with SIGSYS (seccomp, no_new_privs), so that nothing
// libarchive or a decompressor might be made to run by a crafted archive can open, change,
// rename or delete a file, start a process, signal another one or reach the network.
#include <iconv.h>

#include <string>
#include <vector>

namespace tavik::leser {

// Conversions of names that libarchive opens by the name of a character set while it reads: the
// LHA reader takes names from DOS and Windows for CP932 unless the archive names its code page.
// Opening a conversion loads a module of the C library from a file. Opened before the cage and
// kept open, the modules stay loaded, and libarchive's own opening of the same conversion later
// reads no file. A code page outside this set that an archive names is stopped by the cage.
class TLeserConversions {
public:
    TLeserConversions();
    ~TLeserConversions();
    TLeserConversions(const TLeserConversions&) = delete;
    TLeserConversions& operator=(const TLeserConversions&) = delete;

private:
    std::vector<iconv_t> FOpen;
};

// What the helper does once, before the cage, that would otherwise open files when an archive
// first needs it: the locale of the names, the time zone of DOS times, the conversions of names.
// The result must live as long as the helper reads.
[[nodiscard]] TLeserConversions PrepareForLeserCage();

// Sets no_new_privs and loads the filter. false with the reason in German when the kernel or
// the library refuses; the helper must then not read anything.
bool EnterLeserCage(std::string& reason);

}  // namespace tavik::leser
