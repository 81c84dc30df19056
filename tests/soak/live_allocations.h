// Counts the heap blocks alive in this process, through the global operator new and
// delete, so a long run can tell whether memory stays flat.
#pragma once

#include <cstddef>

namespace quorvane::soak {

struct LiveAllocations {
    long long blocks = 0;  // -1 where it cannot be counted (ThreadSanitizer)
    long long bytes = 0;
};

LiveAllocations CurrentAllocations();

}  // namespace quorvane::soak
