#include "huge_pages.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vora::cli {

void restart_with_huge_pages(char** argv) {
    constexpr const char* kTunable = "glibc.malloc.hugetlb=1";
    const char* current = std::getenv("GLIBC_TUNABLES");
    const std::string tunables = current ? current : "";
    if (std::getenv("VORA_NO_HUGE_PAGES") ||
        tunables.find("glibc.malloc.hugetlb") != std::string::npos)
        return;
    const std::string wanted = tunables.empty() ? kTunable : tunables + ":" + kTunable;
    if (setenv("GLIBC_TUNABLES", wanted.c_str(), 1) != 0) return;
    execv("/proc/self/exe", argv);
    // Still here: run on with the default pages, and leave the environment as it was.
    if (current)
        setenv("GLIBC_TUNABLES", current, 1);
    else
        unsetenv("GLIBC_TUNABLES");
}

}  // namespace vora::cli
