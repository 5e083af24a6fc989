#include "io/file_bytes.h"

#include "io/byte_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace vora {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

ReadResult read_file_bytes(const std::string& path, std::vector<uint8_t>& out, uint64_t limit) {
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f) return read_failed(ReadStatus::cannot_open, std::strerror(errno));
    if (std::fseek(f.get(), 0, SEEK_END) != 0)
        return read_failed(ReadStatus::cannot_open, "not a regular file");
    const long size = std::ftell(f.get());
    if (size < 0) return read_failed(ReadStatus::cannot_open, "not a regular file");
    if (uint64_t(size) > limit) return read_failed(ReadStatus::unsupported, "file too large");
    std::rewind(f.get());
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    io_detail::prefer_huge_pages(bytes.data(), bytes.capacity());
    bytes.resize(static_cast<std::size_t>(size));
    if (size > 0 && std::fread(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
        return read_failed(ReadStatus::cannot_open, "read error");
    out = std::move(bytes);
    return read_ok();
}

AtomicFile::AtomicFile(const std::string& target) : target_(target) {
    temp_ = target + ".vora-" + std::to_string(::getpid()) + ".tmp";
    stream_ = std::fopen(temp_.c_str(), "wb");
}

AtomicFile::~AtomicFile() {
    if (stream_) {
        std::fclose(stream_);
        std::remove(temp_.c_str());
    }
}

WriteResult AtomicFile::commit() {
    if (!stream_) return write_failed(std::strerror(errno));
    const bool flushed = std::fflush(stream_) == 0 && !std::ferror(stream_);
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!flushed || !closed) {
        std::remove(temp_.c_str());
        return write_failed("write error");
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        std::remove(temp_.c_str());
        return write_failed(std::strerror(err));
    }
    return write_ok();
}

}  // namespace vora
