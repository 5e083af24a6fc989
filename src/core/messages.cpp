#include "core/messages.h"

#include <cstdio>
#include <vector>

namespace vora {
namespace {

std::string format_strings(const char* pattern, const char* a, const char* b) {
    const int n = std::snprintf(nullptr, 0, pattern, a, b);
    if (n < 0) return pattern;
    std::vector<char> text(std::size_t(n) + 1);
    std::snprintf(text.data(), text.size(), pattern, a, b);
    return std::string(text.data(), std::size_t(n));
}

}  // namespace

std::string format_message(const char* pattern, const std::string& a) {
    return format_strings(pattern, a.c_str(), "");
}

std::string format_message(const char* pattern, const std::string& a, const std::string& b) {
    return format_strings(pattern, a.c_str(), b.c_str());
}

}  // namespace vora
