// Parsing of option values shared by the subcommands of vora-cli.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace vora::cli {

// Image positions are packed with 14 bits of y; x is held to the same range.
inline constexpr int32_t kMaxCoordinate = 16383;

// A whole number in lo..hi, the whole text.
inline bool parse_int(const std::string& text, int32_t lo, int32_t hi, int32_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi) return false;
    value = int32_t(v);
    return true;
}

inline std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream list(text);
    for (std::string part; std::getline(list, part, separator);) parts.push_back(part);
    return parts;
}

// Groups of `size` whole numbers in lo..hi: "A,B;C,D;..." for size 2. False when a group has
// another count or a number is out of range.
template <std::size_t size>
bool parse_groups(const std::string& text, int32_t lo, int32_t hi,
                  std::vector<std::array<int32_t, size>>& out) {
    out.clear();
    for (const std::string& group : split(text, ';')) {
        const auto parts = split(group, ',');
        if (parts.size() != size) return false;
        std::array<int32_t, size> values{};
        for (std::size_t i = 0; i < size; ++i)
            if (!parse_int(parts[i], lo, hi, values[i])) return false;
        out.push_back(values);
    }
    return !out.empty();
}

}  // namespace vora::cli
