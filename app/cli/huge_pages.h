// Asks the C library to back large allocations with 2 MB pages for the whole process.
#pragma once

namespace vora::cli {

// Opening a big image fills a few hundred megabytes of fresh memory, much of it allocated by
// the RAW decoder library, which our own buffers' page advice cannot reach. Faulting that
// memory in 4 KB pages costs about as much as decoding it. glibc reads its malloc tuning only
// at start-up, so when GLIBC_TUNABLES does not yet ask for huge pages the program starts
// itself again with glibc.malloc.hugetlb=1 added. Nothing happens when the setting is
// already there, when VORA_NO_HUGE_PAGES is set, or when the restart fails.
void restart_with_huge_pages(char** argv);

}  // namespace vora::cli
