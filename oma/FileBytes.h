// The bytes of one file, read at any offset: the seam between the OMA code and the file system.
// The engine's Windows side implements it over a file handle; tests and fuzzers read memory.
// Pure: no Windows header.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

class FileBytes {
public:
    virtual ~FileBytes() = default;

    // The file's size in bytes, fixed while the file is open.
    virtual int64_t Size() const = 0;

    // Fills out[0, length) from the bytes at offset. False, with out unspecified, when any of
    // them lies outside the file or the read fails; callers never ask for less than they need.
    virtual bool ReadAt(int64_t offset, uint8_t* out, int32_t length) = 0;
};

// A file held in memory, which it does not own.
class MemoryFileBytes final : public FileBytes {
public:
    explicit MemoryFileBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }

    bool ReadAt(int64_t offset, uint8_t* out, int32_t length) override {
        if (offset < 0 || length < 0 || offset > Size() || length > Size() - offset) {
            return false;
        }
        if (length > 0) {
            std::memcpy(out, bytes_.data() + offset, static_cast<size_t>(length));
        }
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
};
