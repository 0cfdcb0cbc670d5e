#include "platform/ShortRunHeap.h"

#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
// mallinfo2 came with glibc 2.33.
#if __GLIBC_PREREQ(2, 33) && defined(MADV_HUGEPAGE)
#define SCRIVANE_SHAPE_HEAP 1
#endif
#endif

namespace scrivane {

void PrepareShortRunHeap(unsigned long reserveBytes) {
  // The way to time a print against the C library's own habits.
  if (const char *plain = std::getenv("SCRIVANE_PLAIN_HEAP"); plain && *plain) return;
#ifdef SCRIVANE_SHAPE_HEAP
  constexpr unsigned long kMiB = 1ul << 20;
  // Threads' arenas are heaps of their own, faulted in page by page; they
  // share the one heap instead, at little cost: each thread keeps a cache
  // of small blocks.
  mallopt(M_ARENA_MAX, 1);
  // Blocks up to a few megabytes (a page's drawing, a unit's lines) come
  // from the heap rather than from a mapping of their own, faulted in anew
  // each time. Larger ones are still mapped, and unmapped when freed: a
  // million-line unit's largest blocks, kept in the heap, raised its peak
  // by a tenth.
  mallopt(M_MMAP_THRESHOLD, int(4 * kMiB));
  // The top of the heap is still given back beyond the pad below: kept,
  // it raised a million-line unit's peak by 2 MiB.
  // Grow the heap now by the reserve, as address space only, and ask for
  // huge pages over it. A huge page is taken at the first touch of an
  // aligned 2 MiB, and only where no page of those 2 MiB was touched
  // before: so the heap grows in one step, for one block just past its
  // free top, which writes two headers at its start and nothing else.
  const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
  mallopt(M_TOP_PAD, int(reserveBytes));
  if (void *block = std::malloc(mallinfo2().keepcost + 64 * 1024)) std::free(block);
  mallopt(M_TOP_PAD, int(8 * kMiB));
  const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
  const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
  const std::uintptr_t from = (before + page - 1) & ~(page - 1);
  // Where brk could not grow (the C library maps memory instead), nothing
  // changed and nothing is advised.
  if (after > from) madvise(reinterpret_cast<void *>(from), after - from, MADV_HUGEPAGE);
#else
  (void)reserveBytes;
#endif
}

void GiveThreadsHeapsOfTheirOwn() {
#if defined(__GLIBC__)
  // Two: the layout's thread keeps the first heap, the threads writing
  // (and reading ahead) take the second.
  if (const char *plain = std::getenv("SCRIVANE_PLAIN_HEAP"); !plain || !*plain)
    mallopt(M_ARENA_MAX, 2);
#endif
}

void ReturnFreedHeap() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

void ReturnFreedHeapOver(unsigned long freeBytes) {
#if defined(__GLIBC__)
  if (mallinfo2().fordblks > freeBytes) malloc_trim(0);
#else
  (void)freeBytes;
#endif
}

}  // namespace scrivane
