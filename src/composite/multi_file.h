// The multi-file composite's plan: which files are stacked together in one pass. At most
// four images fit one pass, so five to sixteen files are stacked in interleaved groups of
// three or four, and the group results are stacked once more.
#pragma once

#include <vector>

namespace vora {

inline constexpr int kMaxCompositeFiles = 16;

// The passes for `file_count` files (numbered from 0 in list order): one group holding every
// file for 1..4 files, the interleaved groups for 5..16, none otherwise.
std::vector<std::vector<int>> multi_file_groups(int file_count);

}  // namespace vora
