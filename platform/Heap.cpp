// Heap settings.
#include "platform/Heap.h"

#include <cstdlib> // defines __GLIBC__ on the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Platform {

void TuneHeap() {
#if defined(__GLIBC__)
    // Blocks up to 17 MiB (grids, pictures, query results of a window, the 16 MiB page buffers of the PDF
    // writer) come from the heap and are reused; up to 64 MiB of free memory at its top is kept. Bigger
    // blocks are mapped and returned as before.
    constexpr int kMapAbove = 17 << 20;
    constexpr int kKeepFree = 64 << 20;
    mallopt(M_MMAP_THRESHOLD, kMapAbove);
    mallopt(M_TRIM_THRESHOLD, kKeepFree);
#endif
}

} // namespace Platform
