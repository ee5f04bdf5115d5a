#pragma once
// Shared by the split-volume tests: test data, independent tools, and reading an archive
// through libzip.
#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/engine/split/split_source.h"
#include "host/engine/split/split_volumes.h"
#include "host/services/exceptions.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace splittest {

namespace fs = std::filesystem;
using TContents = std::map<std::string, std::string>;

// Bytes that do not compress, so that a few hundred KB make several 64 KiB volumes.
inline std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// A few files of mixed kinds: incompressible, compressible, empty, in a subdirectory.
inline TContents SampleFiles() {
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "Zeile " + std::to_string(i) + " der Belegdatei\n";
    return {{"daten/beleg1.bin", RandomBytes(150'000, 1)},
            {"daten/beleg2.bin", RandomBytes(90'000, 2)},
            {"daten/leer.txt", ""},
            {"liste.txt", text},
            {"zufall.bin", RandomBytes(40'000, 3)}};
}

inline void WriteFiles(const fs::path& dir, const TContents& files) {
    for (const auto& [name, content] : files) testsupport::WriteFile(dir / name, content);
}

inline testsupport::ProcessResult RunTool(const std::vector<std::string>& argv, const std::string& workDir = {}) {
    testsupport::ProcessOptions options;
    options.workDir = workDir;
    return testsupport::RunProcess(argv, options);
}

// Zips the files (relative names) with Info-ZIP; splitSize like "64k", or empty for one file.
inline void InfoZip(const fs::path& workDir, const std::string& archive, const TContents& files,
                    const std::string& splitSize = {}) {
    std::vector<std::string> argv{"zip", "-q", "-X"};
    if (!splitSize.empty()) argv.insert(argv.end(), {"-s", splitSize});
    argv.push_back(archive);
    for (const auto& entry : files) argv.push_back(entry.first);
    const testsupport::ProcessResult result = RunTool(argv, workDir.string());
    ASSERT_EQ(result.status, 0) << result.err << result.out;
}

struct TZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using TZipPtr = std::unique_ptr<zip_t, TZipCloser>;

// Opens the source with libzip and reads every entry to its end (libzip checks the CRCs).
// Throws std::runtime_error when anything fails; the source is consumed either way.
inline TContents ReadThroughLibzip(zip_source_t* source, int flags = 0) {
    zip_error_t error;
    zip_error_init(&error);
    TZipPtr archive(zip_open_from_source(source, flags | ZIP_RDONLY, &error));
    if (!archive) {
        zip_source_free(source);
        const std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw std::runtime_error("zip_open_from_source: " + reason);
    }
    zip_error_fini(&error);
    TContents contents;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0);
        if (name == nullptr) throw std::runtime_error("zip_get_name");
        zip_file_t* file = zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(i), 0);
        if (file == nullptr) throw std::runtime_error(std::string("zip_fopen_index: ") + zip_strerror(archive.get()));
        std::string content;
        char buffer[65536];
        zip_int64_t n = 0;
        while ((n = zip_fread(file, buffer, sizeof buffer)) > 0) content.append(buffer, static_cast<std::size_t>(n));
        const bool failed = n < 0;
        zip_fclose(file);
        if (failed) throw std::runtime_error(std::string("zip_fread failed for ") + name);
        if (name[0] != '\0' && std::string(name).back() != '/') contents[name] = content;
    }
    return contents;
}

inline TContents ReadSet(const std::string& path, int flags = 0) {
    const std::optional<tavik::TSplitSet> set = tavik::FindSplitSet(path);
    if (!set) throw std::runtime_error("no split set: " + path);
    return ReadThroughLibzip(tavik::CreateSplitSetSource(*set), flags);
}

inline TContents ReadPlainZip(const std::string& path, int flags = ZIP_CHECKCONS) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_file_create(path.c_str(), 0, -1, &error);
    zip_error_fini(&error);
    if (source == nullptr) throw std::runtime_error("zip_source_file_create");
    return ReadThroughLibzip(source, flags);
}

inline std::vector<std::string> FileNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The message of the EOlvex that f throws; fails the test when it throws none.
template <typename F>
std::string Refusal(F&& f) {
    try {
        f();
    } catch (const tavik::EOlvex& error) {
        return error.what();
    }
    ADD_FAILURE() << "no EOlvex thrown";
    return {};
}

}  // namespace splittest
