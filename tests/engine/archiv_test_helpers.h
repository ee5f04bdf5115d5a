#pragma once
// Shared by the engine tests: sample trees, independent tools, Python-built archives and an
// engine object with recording event handlers.
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/engine/archiv_format.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace archivtest {

namespace fs = std::filesystem;
using TTree = std::map<std::string, std::string>;  // relative path -> content

// No child of this test is left, running or as a zombie: every helper was ended and reaped.
inline void ExpectNoChildren() {
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

inline std::string Incompressible(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

inline std::string TextRecords(int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) text += "Beleg " + std::to_string(i) + ";Kunde " + std::to_string(i % 97) + ";\n";
    return text;
}

inline TTree SampleTree() {
    return {{"daten/beleg.txt", TextRecords(3000)},
            {"daten/zufall.bin", Incompressible(70'000, 7)},
            {"daten/leer.dat", ""},
            {"daten/unter/grüße.txt", "Grüße aus Köln\n"}};
}

inline void WriteTree(const fs::path& root, const TTree& tree) {
    for (const auto& [name, content] : tree) testsupport::WriteFile(root / name, content);
}

// Every regular file below root, by relative path.
inline TTree ReadTree(const fs::path& root) {
    TTree tree;
    if (!fs::exists(root)) return tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && !entry.is_symlink())
            tree[fs::relative(entry.path(), root).string()] = testsupport::ReadFile(entry.path());
    }
    return tree;
}

inline testsupport::ProcessResult Tool(const std::vector<std::string>& argv, const std::string& workDir = {},
                                      const std::string& input = {}) {
    testsupport::ProcessOptions options;
    options.workDir = workDir;
    options.input = input;
    return testsupport::RunProcess(argv, options);
}

// Runs a Python script (given on standard input) with the arguments; fails the test on error.
inline void Python(const std::string& script, const std::vector<std::string>& args = {}) {
    std::vector<std::string> argv = {"python3", "-"};
    argv.insert(argv.end(), args.begin(), args.end());
    const testsupport::ProcessResult result = Tool(argv, {}, script);
    ASSERT_EQ(result.status, 0) << result.err;
}

inline std::string Cli() { return testsupport::BinDir() + "/vendrask-archiv"; }

inline std::unique_ptr<tavik::TArchivFormatAbstract> Engine(tavik::TArchivFormat format, const std::string& file) {
    auto engine = tavik::GetArchivFormatClass(format)();
    engine->ArchivFile = file;
    return engine;
}

// Records what the engine reports; item errors are skipped unless told otherwise.
struct TRecorder {
    int ends = 0;
    int starts = 0;
    std::int64_t lastDone = -1, lastTotal = -1;
    std::vector<std::string> errorItems;
    std::vector<tavik::TArchivErrorKind> errorKinds;
    std::vector<tavik::TErrorKind> reportedKinds;  // what kind of failure each error was
    bool skipItems = true;

    void Attach(tavik::TArchivFormatAbstract& engine) {
        engine.OnCommandEnd = [this](tavik::TArchivFormatAbstract&, tavik::TArchivCommand) { ++ends; };
        engine.OnCommandItemStart = [this](tavik::TArchivFormatAbstract&, tavik::TArchivCommand,
                                           tavik::PFileInfoItem&) {
            ++starts;
            return true;
        };
        engine.OnCommandProgress = [this](tavik::TArchivFormatAbstract&, tavik::TArchivCommand, std::int64_t done,
                                          std::int64_t total) {
            lastDone = done;
            lastTotal = total;
        };
        engine.OnError = [this](tavik::TArchivFormatAbstract& sender, tavik::TArchivCommand, tavik::TArchivErrorKind kind,
                                const std::string& item, const std::string&, bool& flag) {
            errorItems.push_back(item);
            errorKinds.push_back(kind);
            reportedKinds.push_back(sender.ReportedErrorKind());
            if (kind == tavik::TArchivErrorKind::Item) flag = skipItems;
        };
    }
};

// Sorted entry names as the command line lists them (RelDir/FileName, directories with '/').
inline std::vector<std::string> EntryNames(const tavik::TArchivFormatAbstract& engine) {
    std::vector<std::string> names;
    for (int i = 0; i < engine.GetArchivItemsCount(); ++i) {
        const tavik::TFileInfoItem& item = engine.GetArchivItem(i);
        std::string name = item.RelDir.empty() ? item.FileName : item.RelDir + "/" + item.FileName;
        if ((item.Attributes & tavik::faDirectory) != 0) name += "/";
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace archivtest
