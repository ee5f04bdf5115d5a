#include "host/services/error_kind.h"

#include <cerrno>

namespace tavik {

TErrorKind KindOfAccessError(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? TErrorKind::NoRights : TErrorKind::Other;
}

TErrorKind KindOfWriteError(int error) {
    // A file size limit (EFBIG) leaves no room for the data just as a full disk does.
    if (error == ENOSPC || error == EDQUOT || error == EFBIG) return TErrorKind::DiskFull;
    return KindOfAccessError(error);
}

TErrorKind KindOfInputError(int error) {
    if (error == ENOENT) return TErrorKind::InputMissing;
    return KindOfAccessError(error);
}

}  // namespace tavik
