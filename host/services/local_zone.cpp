#include "host/services/local_zone.h"

#include <unistd.h>

#include <cstdlib>

namespace tavik {

void KeepLocalZoneRead() {
    if (std::getenv("TZ") == nullptr && ::access("/etc/localtime", R_OK) == 0) ::setenv("TZ", ":/etc/localtime", 0);
}

}  // namespace tavik
