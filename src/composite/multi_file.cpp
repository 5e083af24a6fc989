#include "composite/multi_file.h"

#include <numeric>

namespace vora {

std::vector<std::vector<int>> multi_file_groups(int file_count) {
    if (file_count < 1 || file_count > kMaxCompositeFiles) return {};
    if (file_count <= 4) {
        std::vector<int> all(std::size_t(file_count), 0);
        std::iota(all.begin(), all.end(), 0);
        return {all};
    }
    // Five files share file 2 between two passes of three; otherwise the files are dealt
    // round-robin into two (6..8), three (9..12) or four (13..16) groups.
    if (file_count == 5) return {{0, 2, 4}, {1, 2, 3}};
    const int group_count = file_count <= 8 ? 2 : file_count <= 12 ? 3 : 4;
    std::vector<std::vector<int>> groups(static_cast<std::size_t>(group_count));
    for (int file = 0; file < file_count; ++file)
        groups[std::size_t(file % group_count)].push_back(file);
    return groups;
}

}  // namespace vora
