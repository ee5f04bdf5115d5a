#include "host/engine/search/archive_search.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "host/engine/search/archive_search_dir.h"
#include "host/engine/search/archive_search_match.h"
#include "host/engine/search/archive_search_read.h"
#include "host/services/exceptions.h"
#include "host/engine/zip/zip_entry_name.h"
#include "host/services/fs_names.h"

namespace tavik::search {

namespace {

constexpr unsigned kMostThreads = 8;

struct THitRecord {
    std::uint64_t number;
    std::uint64_t size;
    std::int64_t unixTime;
    std::uint16_t dosTime;
    std::uint16_t dosDate;
    bool hasUnixTime;
    std::size_t nameOffset;
    std::size_t nameSize;
};

// The outcome of one archive, kept until its turn to be handed on.
struct TArchiveResult {
    bool done = false;
    std::vector<THitRecord> hits;
    std::string names;  // the hits' names end to end
    std::uint64_t entries = 0;
    std::string failure;
    bool skipped = false;  // no ZIP, and not named like an archive either
};

class TSearch {
public:
    TSearch(std::vector<TSearchArchive> archives, const std::vector<std::string>& terms)
        : FArchives(std::move(archives)), FResults(FArchives.size()), FTerms(terms), FOwnMatcher(terms) {}

    TSearchResult Run(const TSearchEvents& events, unsigned threads) {
        if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
        threads = std::min<unsigned>({threads, kMostThreads, static_cast<unsigned>(FArchives.size())});
        // The workers run at most this many archives ahead of the one handed on: the hits waiting
        // for their turn stay few, however slow one archive or the caller's events are.
        FWindow = 2 * std::size_t{threads};
        TSearchResult result;
        std::vector<std::jthread> workers;
        if (threads > 1)
            for (unsigned i = 0; i < threads; ++i) workers.emplace_back([this] { Work(); });
        // Declared after the workers, so it ends first: the workers stop before they are joined,
        // also when an event throws.
        const TStopWorkers stop(*this);
        // With one thread the caller searches itself, archive by archive, as it hands on.
        for (std::size_t i = 0; i < FArchives.size(); ++i) {
            if (threads <= 1) SearchOne(i, FOwnMatcher, FOwnReader);
            TArchiveResult done = WaitFor(i);
            HandOn(i, done, events, result);
            {
                const std::lock_guard lock(FMutex);
                FHandedOn = i + 1;
            }
            FRoom.notify_all();
            if (events.OnProgress && !events.OnProgress(i + 1, FArchives.size())) {
                result.aborted = true;
                break;
            }
        }
        return result;
    }

private:
    class TStopWorkers {
    public:
        explicit TStopWorkers(TSearch& search) : FSearch(search) {}
        TStopWorkers(const TStopWorkers&) = delete;
        TStopWorkers& operator=(const TStopWorkers&) = delete;
        ~TStopWorkers() {
            {
                const std::lock_guard lock(FSearch.FMutex);
                FSearch.FStop = true;
            }
            FSearch.FRoom.notify_all();
        }

    private:
        TSearch& FSearch;
    };

    void Work() {
        TNameMatcher matcher(FTerms);
        TDirectoryReader reader;
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock lock(FMutex);
                FRoom.wait(lock, [this] { return FStop || FNext >= FArchives.size() || FNext < FHandedOn + FWindow; });
                if (FStop || FNext >= FArchives.size()) return;
                i = FNext++;
            }
            SearchOne(i, matcher, reader);
        }
    }

    void SearchOne(std::size_t index, TNameMatcher& matcher, TDirectoryReader& reader) {
        const TSearchArchive& archive = FArchives[index];
        TArchiveResult result;
        std::string decoded;
        try {
            reader.Read(archive, [&](std::uint64_t number, const zip::TCentralView& entry) {
                ++result.entries;
                const std::string_view name = ZipEntryName(entry, decoded);
                if (!matcher.Matches(name)) return;
                THitRecord hit{number, entry.uncompressedSize, 0, entry.time, entry.date, false,
                               result.names.size(), name.size()};
                hit.hasUnixTime = EntryUnixTime(entry, hit.unixTime);
                result.names.append(name);
                result.hits.push_back(hit);
            });
        } catch (const std::bad_alloc&) {
            result = TArchiveResult{};
            result.failure = "Für das Archiv „" + archive.path + "“ reicht der Arbeitsspeicher nicht.";
        } catch (const std::exception& error) {
            // What an archive named otherwise holds is none of the search's business when
            // it is no readable ZIP.
            result.hits.clear();
            result.names.clear();
            result.entries = 0;
            if (archive.namedAsArchive) result.failure = error.what();
            else result.skipped = true;
        }
        result.done = true;
        {
            const std::lock_guard lock(FMutex);
            FResults[index] = std::move(result);
        }
        FReady.notify_all();
    }

    TArchiveResult WaitFor(std::size_t index) {
        std::unique_lock lock(FMutex);
        FReady.wait(lock, [&] { return FResults[index].done; });
        return std::move(FResults[index]);
    }

    void HandOn(std::size_t index, const TArchiveResult& done, const TSearchEvents& events, TSearchResult& result) {
        const std::string& path = FArchives[index].path;
        if (done.skipped) return;
        ++result.archives;
        result.entries += done.entries;
        if (!done.failure.empty()) {
            ++result.failures;
            if (events.OnFailure) events.OnFailure(path, done.failure);
            return;
        }
        for (const THitRecord& record : done.hits) {
            ++result.hits;
            if (!events.OnHit) continue;
            const TSearchHit hit{path, record.number, record.size,
                                 EntryLocalTime(record.dosTime, record.dosDate, record.hasUnixTime, record.unixTime),
                                 std::string_view(done.names).substr(record.nameOffset, record.nameSize)};
            events.OnHit(hit);
        }
    }

    const std::vector<TSearchArchive> FArchives;
    std::vector<TArchiveResult> FResults;
    const std::vector<std::string> FTerms;
    // Guarded by FMutex: the next archive to take, how many were handed on, and whether to stop.
    std::size_t FNext = 0;
    std::size_t FHandedOn = 0;
    std::size_t FWindow = 1;
    bool FStop = false;
    std::mutex FMutex;
    std::condition_variable FReady;  // an archive is done
    std::condition_variable FRoom;   // one was handed on, or the search stops
    // The caller's own, when it searches alone; built first, so unusable terms fail before
    // any thread starts.
    TNameMatcher FOwnMatcher;
    TDirectoryReader FOwnReader;
};

}  // namespace

TSearchResult SearchArchives(const std::string& dir, const std::vector<std::string>& terms,
                             const TSearchEvents& events, unsigned threads) {
    TSearch search(FindSearchArchives(dir), terms);
    return search.Run(events, threads);
}

std::string DefaultSearchDirectory() {
    return GetDirOlvexByName("ARCHIV", "", true);
}

}  // namespace tavik::search
