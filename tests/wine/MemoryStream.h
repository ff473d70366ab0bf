// A ByteStream over bytes in memory for the source filter's tests: it counts its reads, notes
// which threads read, and can be told to fail.
#pragma once

#include "decode/ByteStream.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

class MemoryStream final : public ByteStream {
public:
    explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

    int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }

    int32_t Read(int64_t offset, uint8_t* out, int32_t length) override {
        ++reads;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            threads_.insert(GetCurrentThreadId());
            if (offset < 0 || length < 0 || offset + length > Size())
                outOfRange = true;
        }
        if (fail)
            return -1;
        if (offset < 0 || length < 0 || offset >= Size())
            return 0;
        const auto n = static_cast<int32_t>(std::min<int64_t>(length, Size() - offset));
        memcpy(out, bytes_.data() + offset, static_cast<size_t>(n));
        return n;
    }

    const std::string& Bytes() const { return bytes_; }

    bool ReadOnlyOn(DWORD thread) {
        std::lock_guard<std::mutex> hold(mutex_);
        return threads_.size() == 1 && *threads_.begin() == thread;
    }

    std::atomic<int> reads{0};
    std::atomic<bool> fail{false};
    std::atomic<bool> outOfRange{false};  // a read asked for bytes outside the stream

private:
    const std::string bytes_;
    std::mutex mutex_;
    std::set<DWORD> threads_;
};

// Bytes whose value tells their offset, so that a read from the wrong place shows.
inline std::string CountingBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}
