// Whole-file input and all-or-nothing output shared by every reader and writer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "io/io_status.h"

namespace vora {

// Reads the whole file. Files larger than `limit` bytes are refused as unsupported.
ReadResult read_file_bytes(const std::string& path, std::vector<uint8_t>& out,
                           uint64_t limit = uint64_t(1) << 34);

// Output to a temporary file beside `target`, renamed over it by commit() only when all
// of it was written; a failed or abandoned write leaves any existing target untouched.
class AtomicFile {
public:
    explicit AtomicFile(const std::string& target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool is_open() const { return stream_ != nullptr; }
    std::FILE* stream() { return stream_; }
    // Flushes, closes and renames; false (with the temporary removed) on any error.
    WriteResult commit();

private:
    std::string target_;
    std::string temp_;
    std::FILE* stream_ = nullptr;
};

}  // namespace vora
