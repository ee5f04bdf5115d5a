#include "host/engine/archiv_format.h"
