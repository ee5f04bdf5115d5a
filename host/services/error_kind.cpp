#include "host/services/error_kind.h"

#include <cerrno>

namespace tavik {

TErrorKind KindOfWriteError(int error) {
    // A file size limit (EFBIG) leaves no room for the data just as a full disk does.
    return error == ENOSPC || error == EDQUOT || error == EFBIG ? TErrorKind::DiskFull : TErrorKind::Other;
}

TErrorKind KindOfInputError(int error) { return error == ENOENT ? TErrorKind::InputMissing : TErrorKind::Other; }

}  // namespace tavik
