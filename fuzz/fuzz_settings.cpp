// Reads arbitrary text as a settings file into default settings, then checks that what the
// writer makes of the result reads back to the same file text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vora::Settings settings;
    vora::read_settings(std::string_view(reinterpret_cast<const char*>(data), size), settings);
    const std::string written = vora::settings_text(settings);
    vora::Settings again;
    vora::read_settings(written, again);
    if (vora::settings_text(again) != written) __builtin_trap();
    return 0;
}
