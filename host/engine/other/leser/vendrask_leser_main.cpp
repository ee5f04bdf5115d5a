// vendrask-leser: reads an archive of format 1 from its standard input and reports its entries,
// and with "lesen" their data, as frames on its standard output (leser_protocol.h). The engine
// starts it; it runs under hard limits because libarchive can loop forever on crafted input.
//
//   vendrask-leser liste            the headers only
//   vendrask-leser lesen [AUSWAHL]  headers and the data of regular files; AUSWAHL ("0-3,7")
//                                   restricts the data to these positions of the list
//   vendrask-leser ppmd             decodes the raw data of PPMd-compressed ZIP entries, fed
//                                   entry after entry on standard input
//
// Before the task, --ohne-grenzen lifts the limits against bombs and loops (CPU time without
// progress, address space, rereading) for an archive the user trusts. Whatever the task, the
// helper reads the archive only inside its cage (leser_cage.h): it writes no file, starts no
// process and opens nothing.
//
//   vendrask-leser --probe-verboten AUFRUF   tries a call the cage forbids; must die of SIGSYS
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/engine/other/leser/leser_archive.h"
#include "host/engine/other/leser/leser_cage.h"
#include "host/engine/other/leser/leser_limits.h"
#include "host/engine/other/leser/leser_output.h"
#include "host/engine/other/leser/leser_ppmd.h"
#include "host/engine/other/leser/leser_probe.h"

namespace tavik::leser {

namespace {

using TRanges = std::vector<std::pair<std::int64_t, std::int64_t>>;

bool ParseRanges(std::string_view text, TRanges& ranges) {
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string part(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        char* end = nullptr;
        const long long first = std::strtoll(part.c_str(), &end, 10);
        long long last = first;
        if (*end == '-') last = std::strtoll(end + 1, &end, 10);
        if (*end != '\0' || first < 0 || last < first) return false;
        ranges.emplace_back(first, last);
    }
    return true;
}

bool Chosen(const TRanges* ranges, std::int64_t position) {
    if (ranges == nullptr) return true;
    for (const auto& [first, last] : *ranges)
        if (position >= first && position <= last) return true;
    return false;
}

// GNU and System V ar keep their symbol and name tables as members; they are no entries.
bool IsArTable(archive* reader, const TLeserEntry& entry) {
    if ((archive_format(reader) & ARCHIVE_FORMAT_BASE_MASK) != ARCHIVE_FORMAT_AR) return false;
    return entry.Name == "/" || entry.Name == "//" || entry.Name == "/SYM64/" || entry.Name == "__.SYMDEF" ||
           entry.Name == "__.SYMDEF SORTED";
}

// Streams the data of the current entry; false when the archive cannot be read further. Only a
// sparse entry may end before its size: the rest is a hole.
bool SendData(archive* reader, const TLeserEntry& entry, bool sparse) {
    std::int64_t end = 0;
    for (;;) {
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) {
            // The WARC reader, for one, ends a record cut short by the end of the file silently.
            if (!sparse && entry.Size && end < *entry.Size)
                Send(TLeserFrameType::EntryError, "Die Daten des Eintrags sind unvollständig; die Archivdatei endet vorzeitig");
            else
                Send(TLeserFrameType::DataEnd);
            return true;
        }
        if (status == ARCHIVE_FATAL) {
            Send(TLeserFrameType::Failure, EncodeLeserFailure(ArchiveFailure(reader)));
            return false;
        }
        if (status < ARCHIVE_WARN) {
            Send(TLeserFrameType::EntryError, ArchiveErrorText(reader));
            return true;
        }
        if (status == ARCHIVE_WARN) Send(TLeserFrameType::Warning, LibraryText(reader));
        if (offset < 0 || (entry.Size && (offset > *entry.Size || size > static_cast<std::uint64_t>(*entry.Size - offset)))) {
            Send(TLeserFrameType::EntryError, "Der Eintrag enthält mehr Daten, als sein Kopf angibt.");
            return true;
        }
        end = std::max(end, offset + static_cast<std::int64_t>(size));
        SendDataBlock(offset, block, size);
    }
}

int Run(std::int64_t readBound, bool withData, const TRanges* ranges) {
    TLeserFailure failure;
    const TArchivePtr reader = OpenArchiveReader(STDIN_FILENO, readBound, failure);
    if (!reader) {
        Send(TLeserFrameType::Failure, EncodeLeserFailure(failure));
        return 0;
    }
    bool skipping = false;
    for (std::int64_t position = 0;;) {
        archive_entry* header = nullptr;
        const int status = archive_read_next_header(reader.get(), &header);
        if (status == ARCHIVE_EOF) break;
        // Bytes that are no header (a damaged tar): the library skips them block by block on the
        // next calls. One warning tells of the whole stretch; the retries consume the archive,
        // and one that consumed nothing would still meet the limit of CPU time without progress.
        if (status == ARCHIVE_RETRY) {
            if (!std::exchange(skipping, true)) Send(TLeserFrameType::Warning, LibraryText(reader.get()));
            continue;
        }
        skipping = false;
        if (status < ARCHIVE_WARN) {
            Send(TLeserFrameType::Failure, EncodeLeserFailure(ArchiveFailure(reader.get())));
            return 0;
        }
        TLeserEntry entry = ArchiveEntryFields(header);
        if (IsArTable(reader.get(), entry)) continue;
        if (status == ARCHIVE_WARN) entry.Warning = LibraryText(reader.get());
        entry.HasData = withData && Chosen(ranges, position) && entry.Kind == TLeserEntryKind::File &&
                        !entry.Hardlink && !entry.Encrypted;
        Send(TLeserFrameType::Entry, EncodeLeserEntry(entry));
        ++position;
        if (entry.HasData && !SendData(reader.get(), entry, archive_entry_sparse_count(header) > 0)) return 0;
    }
    Send(TLeserFrameType::End);
    return 0;
}

enum class TTask { List, Read, Ppmd, Probe };

struct TCall {
    bool Protective = true;
    TTask Task = TTask::List;
    bool Ranged = false;
    TRanges Ranges;
    std::string_view Probe;
};

bool ParseCall(std::vector<std::string_view> args, TCall& call) {
    call.Protective = args.empty() || args.front() != tavik::kLeserWithoutLimits;
    if (!call.Protective) args.erase(args.begin());
    if (args.size() == 1 && args[0] == "liste") {
        call.Task = TTask::List;
        return true;
    }
    if ((args.size() == 1 || args.size() == 2) && args[0] == "lesen") {
        call.Task = TTask::Read;
        call.Ranged = args.size() == 2;
        return !call.Ranged || ParseRanges(args[1], call.Ranges);
    }
    if (args.size() == 1 && args[0] == "ppmd") {
        call.Task = TTask::Ppmd;
        return true;
    }
    if (args.size() == 2 && args[0] == kLeserForbiddenProbe) {
        call.Task = TTask::Probe;
        call.Probe = args[1];
        return true;
    }
    return false;
}

}  // namespace

}  // namespace tavik::leser

int main(int argc, char** argv) {
    using namespace tavik::leser;
    TCall call;
    if (!ParseCall({argv + 1, argv + argc}, call)) return LeserExitUsage;
    if (!SetLeserLimits(call.Protective)) return LeserExitUsage;
    const auto prepared = PrepareForLeserCage();
    const std::int64_t readBound = ArchiveReadBound(STDIN_FILENO, call.Protective);
    if (std::string reason; !EnterLeserCage(reason)) {
        const std::string message = "vendrask-leser: " + reason + ". Ohne diesen Schutz liest das Programm nichts.\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message.data(), message.size());
        return LeserExitNoCage;
    }
    switch (call.Task) {
        case TTask::List: return Run(readBound, false, nullptr);
        case TTask::Read: return Run(readBound, true, call.Ranged ? &call.Ranges : nullptr);
        case TTask::Ppmd: return RunPpmd();
        case TTask::Probe: return TryForbiddenCall(call.Probe);
    }
    return LeserExitUsage;
}
