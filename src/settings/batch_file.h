// Batch files (".vrb"): the eight steps of a recipe as text, 35 lines per step: the
// operation number, the 32 private integers, each on its own line, then the save extension
// and the save folder, each in double quotes on its own line.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "io/io_status.h"
#include "settings/batch_settings.h"

namespace vora {

inline constexpr const char* kBatchExtension = ".vrb";

// A batch file is about a kilobyte; anything beyond this is not one.
inline constexpr std::size_t kBatchFileLimit = std::size_t(1) << 20;

// The file's text. False (text untouched) when a save text holds a line break, which the
// format cannot carry.
bool batch_file_text(const BatchRecipe& recipe, std::string& text);
bool write_batch_file(std::ostream& out, const BatchRecipe& recipe);

// Reads up to eight steps while the text lasts, in order from step 1; steps after the last
// one read keep what they held. Each step read belongs to its operation (stored_operation).
// Numbers are whitespace-separated decimal words and must fit in 32 bits. A text is the part
// of its line between the first and the last double quote, so folders with spaces survive;
// a text without quotes is one word taken as it is.
// The whole text is refused, leaving the recipe unchanged, when it holds no step, when a
// step is cut short or holds a word that is not a number, or when an operation number is
// not one its step offers (step_offers). Text after the eighth step is ignored.
bool read_batch_text(std::string_view text, BatchRecipe& recipe);
bool read_batch_file(std::istream& in, BatchRecipe& recipe);

// The same through a file; writing goes through a temporary file renamed over `path`.
ReadResult load_batch_file(BatchRecipe& recipe, const std::string& path);
WriteResult save_batch_file(const BatchRecipe& recipe, const std::string& path);

// ".vrb" is appended unless the chosen name already ends in exactly ".vrb" (case-sensitive).
std::string batch_file_name(const std::string& chosen);

}  // namespace vora
