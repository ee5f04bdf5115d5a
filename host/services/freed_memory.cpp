#include "host/services/freed_memory.h"

#include <malloc.h>

namespace tavik {

void GiveBackFreedMemory() { ::malloc_trim(0); }

}  // namespace tavik
