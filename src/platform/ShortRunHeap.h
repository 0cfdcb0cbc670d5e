#pragma once
// A print is a short run that builds up tens of megabytes and exits. On the
// virtual machines we measured, the kernel takes about 10 µs to hand out each
// fresh 4 KiB page, and a print of a large unit touched some 3,000 of them:
// a fifth of its time. Huge pages cut that to a handful of faults.

namespace scrivane {

// Shapes the C library's heap for such a run: one heap for every thread,
// grown and trimmed 8 MiB at a time, with its first `reserveBytes` marked
// for huge pages (where the system allows them on request). Call it first
// in main, before threads start. A long-running program should not: its
// idle memory would sit in huge pages. Does nothing where the
// C library is not glibc, or when SCRIVANE_PLAIN_HEAP is set (to compare).
void PrepareShortRunHeap(unsigned long reserveBytes = 32ul << 20);

// Gives threads started from now on heaps of their own. One shared heap
// suits a unit's print, whose second thread makes few blocks; a web book's
// writing thread makes and frees as many as the layout's, and the two
// waited on the heap's lock for a tenth of the book's time, as did a PDF
// book's reading, linking and writing threads. Does nothing where the C
// library is not glibc.
void GiveThreadsHeapsOfTheirOwn();

// Gives the system back the whole pages of the heap that are free: after
// a large unit is read, what the reader freed sits between blocks still
// held and is never given back otherwise (10 MiB of a million-line unit's
// peak). Does nothing where the C library is not glibc.
void ReturnFreedHeap();
// ReturnFreedHeap when more than `freeBytes` of the heap lie free: a book
// calls it once a unit, and trimming a heap with little free only costs
// the page faults of growing it again.
void ReturnFreedHeapOver(unsigned long freeBytes);

}  // namespace scrivane
