#include "decode/WinFileBytes.h"

#include <windows.h>

namespace {

class WinFileBytes final : public FileBytes {
public:
    WinFileBytes(HANDLE file, int64_t size) : file_(file), size_(size) {}
    ~WinFileBytes() override { CloseHandle(file_); }
    WinFileBytes(const WinFileBytes&) = delete;
    WinFileBytes& operator=(const WinFileBytes&) = delete;

    int64_t Size() const override { return size_; }

    bool ReadAt(int64_t offset, uint8_t* out, int32_t length) override {
        if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) {
            return false;
        }
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
        DWORD read = 0;
        return ReadFile(file_, out, static_cast<DWORD>(length), &read, &at) && read == static_cast<DWORD>(length);
    }

private:
    HANDLE file_;
    int64_t size_;
};

}  // namespace

std::unique_ptr<FileBytes> OpenFileBytes(const std::wstring& name) {
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return nullptr;
    }
    return std::make_unique<WinFileBytes>(file, static_cast<int64_t>(size.QuadPart));
}
