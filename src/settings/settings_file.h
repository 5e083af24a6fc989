// The settings file: plain text, a keyword per group followed by its values, read and
// written through one table of groups so that every group is read in the order it is
// written. Also resetting all settings and the ".vrs" naming rule.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/workbench.h"
#include "io/io_status.h"
#include "settings/settings.h"

namespace vora {

inline constexpr const char* kSettingsExtension = ".vrs";

// One stored value: an integer ("%d") or, for the RAW gammas only, a double ("%lf").
using SettingsField = std::variant<int32_t*, double*>;

// A keyword and its value lines as the writer puts them, bound to one Settings object.
// The reader takes the same fields in the same order, ignoring the line breaks.
struct SettingsGroup {
    const char* keyword;
    std::vector<std::vector<SettingsField>> lines;
};

// All groups in the writer's order, their fields pointing into `s`. The RAW development
// quality appears twice ("dark" and "raw"): both refer to the same field.
std::vector<SettingsGroup> settings_groups(Settings& s);

// Reads whitespace-separated words and assigns every recognised group to `s`:
// - words that are not keywords are skipped one by one, and so are the values after them;
// - each value is converted like C's fscanf "%d" / "%lf": leading whitespace is skipped and
//   the longest number at the front of the next word is taken, so "12abc" gives 12 and
//   leaves "abc" as the next word;
// - a conversion that fails leaves that field and the rest of its group unchanged, and the
//   failing word is not consumed (it is read again as the next word, so a keyword right
//   after a short group is still recognised);
// - an integer beyond the 32-bit range saturates at INT32_MIN / INT32_MAX (all its digits
//   are consumed); a sign without digits is a failed conversion;
// - doubles follow the C library's strtod in the "C" locale whatever the process locale
//   (decimal point '.', exponents, "inf", "nan", hexadecimal); out-of-range values become
//   ±infinity or ±0 as strtod gives them;
// - a group read twice is assigned twice, the later values win; after every "composite"
//   group a comparison method of 0 becomes 1; nothing else is range-checked.
void read_settings(std::string_view text, Settings& s);
void read_settings(std::istream& in, Settings& s);

// Writes every group in the table's order: the keyword on a line of its own, then each
// value line with the values separated by single spaces; doubles with six decimals.
// Independent of the process locale.
void write_settings(std::ostream& out, const Settings& s);
std::string settings_text(const Settings& s);

// Every setting back to its default. With flag 0 (start-up) all image records are emptied
// as well and no slot is current; with any other flag the images are left alone.
void reset_settings(Workbench& wb, int flag);

// Reads a settings file into the settings. A file that cannot be read changes nothing.
ReadResult load_settings_file(Settings& s, const std::string& path);
ReadResult load_settings_file(Workbench& wb, const std::string& path);

// Writes the settings through a temporary file renamed over `path`, so a failed write
// never leaves a truncated settings file.
WriteResult save_settings_file(const Settings& s, const std::string& path);
WriteResult save_settings_file(const Workbench& wb, const std::string& path);

// The name a settings file is saved under: ".vrs" is appended unless the chosen name
// already ends in exactly ".vrs" (case-sensitive): "test" → "test.vrs",
// "test.vrs" unchanged, "test.VRS" → "test.VRS.vrs".
std::string settings_file_name(const std::string& chosen);

}  // namespace vora
