#include "settings/batch_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <istream>
#include <ostream>
#include <vector>

#include "io/file_bytes.h"

namespace vora {
namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool has_line_break(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

class BatchScanner {
  public:
    explicit BatchScanner(std::string_view text) : text_(text) {}

    bool at_end() {
        skip_space();
        return pos_ >= text_.size();
    }

    // One whole word holding a decimal number within 32 bits, with an optional sign.
    bool read_int(int32_t& value) {
        std::string_view word = next_word();
        if (!word.empty() && word.front() == '+') word.remove_prefix(1);
        if (word.empty()) return false;
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
        return ec == std::errc() && end == word.data() + word.size();
    }

    // A quoted text is everything between the first and the last quote of its line (or the
    // rest of the line after a lone opening quote); otherwise the next word.
    bool read_text(std::string& value) {
        if (at_end()) return false;
        if (text_[pos_] != '"') {
            value = std::string(next_word());
            return true;
        }
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view line = text_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end;
        const std::size_t close = line.rfind('"');
        if (close != std::string_view::npos) {
            line = line.substr(0, close);
        } else {
            while (!line.empty() && is_space(line.back())) line.remove_suffix(1);
        }
        value = std::string(line);
        return true;
    }

  private:
    void skip_space() {
        while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
    }

    std::string_view next_word() {
        skip_space();
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !is_space(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

bool read_step(BatchScanner& in, int index, BatchStep& step) {
    if (!in.read_int(step.operation) || !step_offers(index, step.operation)) return false;
    for (int32_t& v : step.values)
        if (!in.read_int(v)) return false;
    if (!in.read_text(step.save_extension) || !in.read_text(step.save_folder)) return false;
    step.stored_operation = step.operation;
    return true;
}

}  // namespace

bool batch_file_text(const BatchRecipe& recipe, std::string& text) {
    std::string out;
    for (const BatchStep& step : recipe.steps) {
        if (has_line_break(step.save_extension) || has_line_break(step.save_folder)) return false;
        out += std::to_string(step.operation) + '\n';
        for (const int32_t v : step.values) out += std::to_string(v) + '\n';
        out += '"' + step.save_extension + "\"\n";
        out += '"' + step.save_folder + "\"\n";
    }
    text = std::move(out);
    return true;
}

bool write_batch_file(std::ostream& out, const BatchRecipe& recipe) {
    std::string text;
    if (!batch_file_text(recipe, text)) return false;
    out << text;
    return bool(out);
}

bool read_batch_text(std::string_view text, BatchRecipe& recipe) {
    BatchScanner in(text);
    std::vector<BatchStep> steps;
    while (int(steps.size()) < kBatchSteps && !in.at_end()) {
        BatchStep step;
        if (!read_step(in, int(steps.size()), step)) return false;
        steps.push_back(std::move(step));
    }
    if (steps.empty()) return false;
    for (std::size_t i = 0; i < steps.size(); ++i) recipe.steps[i] = std::move(steps[i]);
    return true;
}

bool read_batch_file(std::istream& in, BatchRecipe& recipe) {
    std::string text(kBatchFileLimit + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    const std::size_t got = std::size_t(in.gcount());
    if (got > kBatchFileLimit) return false;
    text.resize(got);
    return read_batch_text(text, recipe);
}

ReadResult load_batch_file(BatchRecipe& recipe, const std::string& path) {
    std::vector<uint8_t> bytes;
    ReadResult result = read_file_bytes(path, bytes, kBatchFileLimit);
    if (!result.ok()) return result;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!read_batch_text(text, recipe))
        return read_failed(ReadStatus::not_this_format, "not a batch file");
    return read_ok();
}

WriteResult save_batch_file(const BatchRecipe& recipe, const std::string& path) {
    std::string text;
    if (!batch_file_text(recipe, text)) return write_failed("a save text holds a line break");
    AtomicFile file(path);
    if (!file.is_open()) return write_failed(std::strerror(errno));
    if (std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size())
        return write_failed("write error");
    return file.commit();
}

std::string batch_file_name(const std::string& chosen) {
    const std::string_view ext = kBatchExtension;
    const std::string_view name = chosen;
    if (name.size() >= ext.size() && name.substr(name.size() - ext.size()) == ext) return chosen;
    return chosen + kBatchExtension;
}

}  // namespace vora
