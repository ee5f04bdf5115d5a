#include "host/engine/pack/zip_copied_source.h"

namespace tavik {

TCopiedSource::TCopiedSource(TProgress progress) : FProgress(std::move(progress)) { zip_error_init(&FError); }

TCopiedSource::~TCopiedSource() {
    if (FStored) zip_source_free(FStored);
    zip_error_fini(&FError);
}

zip_source_t* TCopiedSource::Create(zip_t* archive, zip_source_t* stored) {
    if (FStored) zip_source_free(FStored);
    FStored = stored;
    FDone = 0;
    FCancelled = false;
    return zip_source_function(archive, &Callback, this);
}

zip_int64_t TCopiedSource::Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* self = static_cast<TCopiedSource*>(state);
    try {
        return self->Handle(data, length, command);
    } catch (...) {  // nothing may pass through libzip
        zip_error_set(&self->FError, ZIP_ER_INTERNAL, 0);
        return -1;
    }
}

zip_int64_t TCopiedSource::InnerFailed() {
    const zip_error_t* inner = zip_source_error(FStored);
    zip_error_set(&FError, zip_error_code_zip(inner), zip_error_code_system(inner));
    return -1;
}

zip_int64_t TCopiedSource::Handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
    if (!FStored && command != ZIP_SOURCE_ERROR && command != ZIP_SOURCE_FREE) {
        zip_error_set(&FError, ZIP_ER_INTERNAL, 0);
        return -1;
    }
    switch (command) {
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
        case ZIP_SOURCE_OPEN:
            FDone = 0;
            return zip_source_open(FStored) < 0 ? InnerFailed() : 0;
        case ZIP_SOURCE_READ: {
            const zip_int64_t n = zip_source_read(FStored, data, length);
            if (n < 0) return InnerFailed();
            FDone += n;
            if (FProgress && !FProgress(FDone)) {
                FCancelled = true;
                zip_error_set(&FError, ZIP_ER_CANCELLED, 0);
                return -1;
            }
            return n;
        }
        case ZIP_SOURCE_CLOSE:
            return zip_source_close(FStored) < 0 ? InnerFailed() : 0;
        case ZIP_SOURCE_STAT: {
            auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &FError);
            if (st == nullptr) return -1;
            // The entry as it is stored: libzip takes method, sizes and CRC from here and copies
            // the data as it comes.
            if (zip_source_stat(FStored, st) < 0) return InnerFailed();
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&FError, data, length);
        case ZIP_SOURCE_FREE:
            // The archive lets go of this source: the stored entry's source goes with it.
            if (FStored) zip_source_free(FStored);
            FStored = nullptr;
            return 0;
        default:
            zip_error_set(&FError, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

}  // namespace tavik
