// The format codes are header-only; this unit keeps the library non-empty on its own.
#include "cache_types.h"
