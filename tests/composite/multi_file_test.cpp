#include "composite/multi_file.h"

#include <gtest/gtest.h>

namespace vora {
namespace {

using Groups = std::vector<std::vector<int>>;

TEST(MultiFileGroups, FollowTheInterleavedTable) {
    const struct {
        int files;
        Groups groups;
    } cases[] = {
        {1, {{0}}},
        {4, {{0, 1, 2, 3}}},
        {5, {{0, 2, 4}, {1, 2, 3}}},  // file 2 is stacked in both passes
        {6, {{0, 2, 4}, {1, 3, 5}}},
        {7, {{0, 2, 4, 6}, {1, 3, 5}}},
        {9, {{0, 3, 6}, {1, 4, 7}, {2, 5, 8}}},
        {10, {{0, 3, 6, 9}, {1, 4, 7}, {2, 5, 8}}},
        {12, {{0, 3, 6, 9}, {1, 4, 7, 10}, {2, 5, 8, 11}}},
        {13, {{0, 4, 8, 12}, {1, 5, 9}, {2, 6, 10}, {3, 7, 11}}},
        {16, {{0, 4, 8, 12}, {1, 5, 9, 13}, {2, 6, 10, 14}, {3, 7, 11, 15}}},
        {0, {}},
        {17, {}},
        {-3, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(multi_file_groups(c.files), c.groups) << c.files;
}

}  // namespace
}  // namespace vora
