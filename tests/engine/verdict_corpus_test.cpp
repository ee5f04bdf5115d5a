// The regression corpus of verdicts: every case in tests/data/verdicts is an archive made by a
// script (NAME.py or NAME.sh) and a small text file NAME.expect that says what list,
// verify --complete, extract and find must answer for it, and which peers list it alike. One
// input, one verdict: the commands must agree with each other, with the peers, and with the
// truth the case states. The format of NAME.expect is described in tests/data/verdicts/README.md.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

struct TCommandExpectation {
    std::vector<std::string> options;
    bool ok = true;
    std::string text;  // expected within what the command printed
};

struct TCase {
    std::string name;
    std::string archive;
    std::string password;
    std::optional<TCommandExpectation> list, verify, extract;
    std::vector<std::string> entries;
    bool entriesGiven = false;
    std::vector<std::pair<std::string, std::string>> times;  // "YYYY-MM-DD HH:MM:SS", name
    std::vector<std::pair<std::string, std::string>> files;  // path, "text:..." or "size:N"
    std::vector<std::pair<std::string, long long>> mtimes;   // path, seconds since the epoch
    std::vector<std::string> absent;
    std::optional<std::size_t> fileCount;
    std::vector<std::pair<std::string, std::size_t>> finds;  // term, hits
    std::vector<std::string> peers;
};

std::string Trim(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    return text.substr(start);
}

// "[--option ...] ok|fail [text]"
TCommandExpectation ParseCommand(const std::string& rest, const std::string& where) {
    TCommandExpectation expectation;
    std::istringstream words(rest);
    std::string word;
    while (words >> word && word.rfind("--", 0) == 0) expectation.options.push_back(word);
    if (word != "ok" && word != "fail") ADD_FAILURE() << where << ": ok or fail expected, not '" << word << "'";
    expectation.ok = word == "ok";
    std::getline(words, expectation.text);
    expectation.text = Trim(expectation.text);
    return expectation;
}

TCase ReadCase(const fs::path& file) {
    TCase c;
    c.name = file.stem().string();
    std::ifstream in(file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        const std::string where = file.filename().string() + ":" + std::to_string(number);
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        const auto tabbed = [&](std::string& left, std::string& right) {
            const std::size_t tab = rest.find('\t');
            if (tab == std::string::npos) ADD_FAILURE() << where << ": a tab must separate path and value";
            left = rest.substr(0, tab);
            right = tab == std::string::npos ? "" : rest.substr(tab + 1);
        };
        if (key == "archive") {
            c.archive = Trim(rest);
        } else if (key == "password") {
            c.password = rest;
        } else if (key == "list") {
            c.list = ParseCommand(rest, where);
        } else if (key == "verify") {
            c.verify = ParseCommand(rest, where);
        } else if (key == "extract") {
            c.extract = ParseCommand(rest, where);
        } else if (key == "entry") {
            c.entries.push_back(rest);
            c.entriesGiven = true;
        } else if (key == "noentries") {
            c.entriesGiven = true;
        } else if (key == "time") {
            c.times.emplace_back(rest.substr(0, 19), rest.size() > 20 ? rest.substr(20) : "");
        } else if (key == "file") {
            std::string path, value;
            tabbed(path, value);
            c.files.emplace_back(path, value);
        } else if (key == "mtime") {
            std::string path, value;
            tabbed(path, value);
            c.mtimes.emplace_back(path, std::stoll(value));
        } else if (key == "nofile") {
            c.absent.push_back(rest);
        } else if (key == "files") {
            c.fileCount = std::stoul(rest);
        } else if (key == "find") {
            std::string term, count;
            tabbed(term, count);
            c.finds.emplace_back(term, std::stoul(count));
        } else if (key == "peer") {
            std::istringstream words(rest);
            for (std::string peer; words >> peer;) c.peers.push_back(peer);
        } else {
            ADD_FAILURE() << where << ": unknown line '" << line << "'";
        }
    }
    return c;
}

std::vector<std::string> CaseFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(testsupport::TestDataDir()) / "verdicts"))
        if (entry.path().extension() == ".expect") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The fields of list's lines: NR, size, date and time, name.
std::vector<std::vector<std::string>> ListFields(const std::string& out) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : Lines(out)) {
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (int i = 0; i < 3; ++i) {
            const std::size_t tab = line.find('\t', start);
            if (tab == std::string::npos) break;
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        rows.push_back(std::move(fields));
    }
    return rows;
}

std::string WithoutTrailingSlash(std::string name) {
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    return name;
}

// The names a peer lists, directories without their trailing '/'.
std::set<std::string> PeerNames(const std::string& peer, const std::string& archive, const std::string& dir) {
    std::vector<std::string> argv;
    if (peer == "unzip") argv = {"unzip", "-Z1", archive};
    else if (peer == "bsdtar") argv = {"bsdtar", "-tf", archive};
    else if (peer == "7zz") argv = {"7zz", "l", "-ba", "-slt", archive};
    else ADD_FAILURE() << "unknown peer " << peer;
    const testsupport::ProcessResult result = Tool(argv, dir);
    EXPECT_EQ(result.status, 0) << peer << ": " << result.err << result.out;
    std::set<std::string> names;
    for (std::string line : Lines(result.out)) {
        if (peer == "7zz") {
            if (line.rfind("Path = ", 0) != 0) continue;
            line = line.substr(7);
        }
        if (!line.empty()) names.insert(WithoutTrailingSlash(line));
    }
    return names;
}

class VerdictCorpus : public ::testing::TestWithParam<std::string> {
protected:
    testsupport::ProcessResult Run(const std::string& command, const TCommandExpectation& expectation,
                                   std::vector<std::string> operands) {
        std::vector<std::string> argv{Cli(), command};
        if (command == "verify") argv.push_back("--complete");
        argv.insert(argv.end(), expectation.options.begin(), expectation.options.end());
        if (!FPasswordFile.empty() && (command == "verify" || command == "extract")) {
            argv.push_back("--password-file");
            argv.push_back(FPasswordFile);
        }
        argv.insert(argv.end(), operands.begin(), operands.end());
        testsupport::ProcessOptions options;
        options.workDir = FDir.str();
        options.env["TZ"] = "UTC";
        const testsupport::ProcessResult result = testsupport::RunProcess(argv, options);
        const std::string printed = result.out + result.err;
        EXPECT_EQ(result.status, expectation.ok ? 0 : 1) << command << " said:\n" << printed;
        if (!expectation.text.empty()) {
            EXPECT_NE(printed.find(expectation.text), std::string::npos)
                << command << " should say '" << expectation.text << "', said:\n" << printed;
        }
        return result;
    }

    testsupport::TempDir FDir;
    std::string FPasswordFile;
};

TEST_P(VerdictCorpus, ListVerifyExtractAndFindAgreeWithTheTruth) {
    const fs::path folder = fs::path(testsupport::TestDataDir()) / "verdicts";
    const TCase c = ReadCase(folder / (GetParam() + ".expect"));
    ASSERT_FALSE(c.archive.empty()) << "the case names no archive";

    const fs::path python = folder / (GetParam() + ".py");
    const fs::path shell = folder / (GetParam() + ".sh");
    std::vector<std::string> maker;
    if (fs::exists(python)) maker = {"python3", python.string(), FDir.str()};
    else if (fs::exists(shell)) maker = {"bash", shell.string(), FDir.str()};
    ASSERT_FALSE(maker.empty()) << "no script makes the case";
    testsupport::ProcessOptions makeOptions;
    makeOptions.workDir = FDir.str();
    makeOptions.env["PYTHONPATH"] = folder.string();
    const testsupport::ProcessResult made = testsupport::RunProcess(maker, makeOptions);
    ASSERT_EQ(made.status, 0) << made.err << made.out;
    ASSERT_TRUE(fs::exists(FDir / c.archive)) << c.archive << " was not made";
    if (!c.password.empty()) {
        FPasswordFile = (FDir / "kennwort.txt").string();
        testsupport::WriteFile(FPasswordFile, c.password + "\n");
    }

    std::vector<std::string> listed;
    std::map<std::string, std::string> listedLines;  // NR -> the line without it
    if (c.list) {
        const testsupport::ProcessResult list = Run("list", *c.list, {c.archive});
        for (const std::string& line : Lines(list.out))
            if (const std::size_t tab = line.find('\t'); tab != std::string::npos)
                listedLines[line.substr(0, tab)] = line.substr(tab + 1);
        for (const auto& fields : ListFields(list.out)) {
            listed.push_back(fields.back());
            for (const auto& [when, name] : c.times)
                if (name == fields.back() && fields.size() == 4) {
                    EXPECT_EQ(fields[2], when) << "time of " << name;
                }
        }
        if (c.entriesGiven) {
            EXPECT_EQ(listed, c.entries);
        }
        for (const std::string& peer : c.peers) {
            std::set<std::string> ours;
            for (const std::string& name : listed) ours.insert(WithoutTrailingSlash(name));
            EXPECT_EQ(ours, PeerNames(peer, c.archive, FDir.str())) << "listed unlike " << peer;
        }
    }
    if (c.verify) Run("verify", *c.verify, {c.archive});
    if (c.extract) {
        Run("extract", *c.extract, {c.archive, "out"});
        const fs::path out = FDir / "out";
        for (const auto& [path, value] : c.files) {
            const fs::path file = out / path;
            if (!fs::is_regular_file(file)) {
                ADD_FAILURE() << path << " was not extracted";
                continue;
            }
            if (value.rfind("text:", 0) == 0) EXPECT_EQ(testsupport::ReadFile(file), value.substr(5)) << path;
            else if (value.rfind("size:", 0) == 0) EXPECT_EQ(fs::file_size(file), std::stoull(value.substr(5))) << path;
            else ADD_FAILURE() << "unknown file value " << value;
        }
        for (const auto& [path, seconds] : c.mtimes) {
            struct stat status {};
            ASSERT_EQ(::lstat((out / path).c_str(), &status), 0) << path;
            EXPECT_EQ(status.st_mtime, seconds) << "time of " << path;
        }
        for (const std::string& path : c.absent) EXPECT_FALSE(fs::exists(fs::symlink_status(out / path))) << path;
        if (c.fileCount) {
            std::size_t count = 0;
            if (fs::exists(out))
                for (const auto& entry : fs::recursive_directory_iterator(out)) count += entry.is_regular_file();
            EXPECT_EQ(count, *c.fileCount) << "files extracted";
        }
    }
    for (const auto& [term, hits] : c.finds) {
        TCommandExpectation found;
        const testsupport::ProcessResult result = Run("find", found, {"--dir", FDir.str(), term});
        std::size_t count = 0;
        const std::string prefix = (FDir / c.archive).string() + "\t";
        for (const std::string& line : Lines(result.out)) {
            // ARCHIV, then NR, size, date and time and name as list gives them.
            if (line.rfind(prefix, 0) != 0) continue;
            ++count;
            const std::string rest = line.substr(prefix.size());
            const std::size_t tab = rest.find('\t');
            if (c.list) {
                EXPECT_EQ(rest.substr(tab + 1), listedLines[rest.substr(0, tab)]) << "find and list differ";
            }
        }
        EXPECT_EQ(count, hits) << "hits of find '" << term << "':\n" << result.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, VerdictCorpus, ::testing::ValuesIn(CaseFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });

}  // namespace
}  // namespace archivtest
