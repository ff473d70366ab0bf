// A file in memory that stops the run when it is asked for a byte outside itself: the OMA code
// must check every size it reads from the file before it reads by it.
#pragma once

#include <cstdint>
#include <span>

#include "oma/FileBytes.h"
#include "tests/fuzz/FuzzCheck.h"

class CheckedFile final : public FileBytes {
public:
    explicit CheckedFile(std::span<const uint8_t> bytes) : file_(bytes) {}

    int64_t Size() const override { return file_.Size(); }

    bool ReadAt(int64_t offset, uint8_t* out, int32_t length) override {
        FUZZ_REQUIRE(offset >= 0 && length >= 0 && offset <= Size() && length <= Size() - offset);
        FUZZ_REQUIRE(length == 0 || out != nullptr);
        return file_.ReadAt(offset, out, length);
    }

private:
    MemoryFileBytes file_;
};
