// What a reader or writer reports. Readers fill the record they are given only on success;
// nothing here prints or shows anything.
#pragma once

#include <string>

namespace vora {

enum class ReadStatus { ok, cannot_open, not_this_format, corrupt, unsupported };

struct ReadResult {
    ReadStatus status = ReadStatus::ok;
    std::string detail;  // why, in a few words, for the command level's message
    bool ok() const { return status == ReadStatus::ok; }
};

inline ReadResult read_ok() { return {}; }
inline ReadResult read_failed(ReadStatus status, std::string detail) {
    return {status, std::move(detail)};
}

struct WriteResult {
    bool written = true;
    std::string detail;
    bool ok() const { return written; }
};

inline WriteResult write_ok() { return {}; }
inline WriteResult write_failed(std::string detail) { return {false, std::move(detail)}; }

}  // namespace vora
