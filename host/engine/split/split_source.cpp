// The libzip source that presents an archive as one ordinary archive: the entries as they lie
// in the volumes (without the split marker or bytes before the archive), followed by a central
// directory rewritten for a single disk.
#include "host/engine/split/split_source.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "host/services/exceptions.h"

namespace tavik {

namespace {

using namespace zip;

struct TSourceState {
    split::TVolumeFiles files;
    std::uint64_t fileStart = 0;   // first byte of the volumes that is presented
    std::uint64_t fileLength = 0;  // bytes presented from the volumes, then the tail
    TBytes tail;
    std::uint64_t position = 0;
    zip_error_t error{};

    explicit TSourceState(split::TVolumeFiles volumeFiles) : files(std::move(volumeFiles)) {
        zip_error_init(&error);
    }
    ~TSourceState() { zip_error_fini(&error); }
    TSourceState(const TSourceState&) = delete;
    TSourceState& operator=(const TSourceState&) = delete;

    std::uint64_t Size() const { return fileLength + tail.size(); }

    void Read(std::uint8_t* out, std::size_t size) {
        if (position < fileLength) {
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, fileLength - position));
            files.Read(fileStart + position, out, chunk);
            out += chunk;
            size -= chunk;
            position += chunk;
        }
        if (size > 0) {
            std::copy_n(tail.begin() + static_cast<std::ptrdiff_t>(position - fileLength), size, out);
            position += size;
        }
    }
};

zip_int64_t SourceCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* state = static_cast<TSourceState*>(userdata);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        state->position = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const std::uint64_t left = state->Size() - std::min(state->position, state->Size());
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(length, left));
        try {
            state->Read(static_cast<std::uint8_t*>(data), size);
        } catch (const std::exception&) {
            zip_error_set(&state->error, ZIP_ER_READ, EIO);
            return -1;
        }
        return static_cast<zip_int64_t>(size);
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        if (length < sizeof(zip_stat_t)) {
            zip_error_set(&state->error, ZIP_ER_INVAL, 0);
            return -1;
        }
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = state->Size();
        st->mtime = static_cast<time_t>(state->files.LastModified());
        st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&state->error, data, length);
    case ZIP_SOURCE_FREE:
    {
        const std::unique_ptr<TSourceState> owned(state);
        return 0;
    }
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t target = zip_source_seek_compute_offset(state->position, state->Size(), data, length, &state->error);
        if (target < 0) return -1;
        state->position = static_cast<std::uint64_t>(target);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(state->position);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                                              ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&state->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

bool HoldsEndRecordSignature(const TBytes& bytes) {
    for (std::size_t i = 0; i + 4 <= bytes.size(); ++i) {
        const std::uint32_t word = Get32(bytes.data() + i);
        if (word == kEndRecordSig || word == kZip64EndRecordSig || word == kZip64LocatorSig) return true;
    }
    return false;
}

std::unique_ptr<TSourceState> RewrittenState(split::TSplitArchive& archive) {
    TBytes tail;
    for (const split::TEntry& entry : archive.Entries()) {
        const TBytes header =
            SerializeCentralHeader(OwnCentralHeader(entry.header), 0, entry.position - archive.DataStart());
        tail.insert(tail.end(), header.begin(), header.end());
    }
    TEndRecord end;
    end.entriesOnDisk = end.entriesTotal = archive.Entries().size();
    end.centralSize = tail.size();
    end.centralOffset = archive.CentralStart() - archive.DataStart();
    // A comment that holds the signature of an end record could lead a reader to a false one.
    if (!HoldsEndRecordSignature(archive.Comment())) end.comment = archive.Comment();
    const TBytes records = BuildEndRecords(end, end.centralOffset + end.centralSize);
    tail.insert(tail.end(), records.begin(), records.end());

    auto state = std::make_unique<TSourceState>(std::move(archive.Files()));
    state->fileStart = archive.DataStart();
    state->fileLength = end.centralOffset;
    state->tail = std::move(tail);
    return state;
}

// An ordinary file as it is, read through stdio's buffer (libzip reads a large directory in
// small pieces) on a second descriptor of the same open file.
zip_source_t* FileSource(split::TSplitArchive& archive, const std::string& name) {
    const int fd = ::dup(archive.Files().SingleDescriptor());
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "rb");
    if (file == nullptr) {
        if (fd >= 0) ::close(fd);
        throw EOlvex("Die Archivdatei „" + name + "“ kann nicht geöffnet werden: nicht genug Systemressourcen.");
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_filep_create(file, 0, -1, &error);
    if (source == nullptr) {
        std::fclose(file);
        const std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw EOlvex("Die Archivdatei „" + name + "“ kann nicht geöffnet werden: " + reason + ".");
    }
    zip_error_fini(&error);
    return source;
}

}  // namespace

zip_source_t* CreatePresentedSource(split::TSplitArchive& archive) {
    const std::string name = archive.Files().Path(archive.Files().Count() - 1);
    const bool asWritten = archive.DiskCount() == 1 && archive.Directory().AsWritten();
    if (asWritten && archive.Files().SingleDescriptor() >= 0) return FileSource(archive, name);
    std::unique_ptr<TSourceState> state;
    if (asWritten) {
        state = std::make_unique<TSourceState>(std::move(archive.Files()));
        state->fileLength = state->files.TotalSize();
    } else {
        state = RewrittenState(archive);
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(SourceCallback, state.get(), &error);
    if (source == nullptr) {
        const std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw EOlvex("Die Archivdatei „" + name + "“ kann nicht geöffnet werden: " + reason + ".");
    }
    zip_error_fini(&error);
    state.release();  // owned by the source now, freed on ZIP_SOURCE_FREE
    return source;
}

zip_source_t* CreateSplitSetSource(const TSplitSet& set) {
    if (set.volumes.empty()) throw EOlvex("Das geteilte Archiv hat keine Teile.");
    split::TSplitArchive archive(set.volumes.back(), set);
    return CreatePresentedSource(archive);
}

}  // namespace tavik
