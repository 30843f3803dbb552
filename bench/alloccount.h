// Counts the heap allocations of this process (malloc, calloc, realloc, and
// operator new, which goes through malloc), so that a measure can show it
// allocates nothing.
#pragma once

#include <QtGlobal>

namespace bench {

quint64 allocationCount();

} // namespace bench
