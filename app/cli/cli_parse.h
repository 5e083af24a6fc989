// Parsing of option values shared by the subcommands of vora-cli.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace vora::cli {

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

}  // namespace vora::cli
