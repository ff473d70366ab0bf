#include "decode/StdioFileBytes.h"

#include <cstdio>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

class StdioFileBytes final : public FileBytes {
public:
    StdioFileBytes(std::unique_ptr<std::FILE, FileCloser> file, int64_t size) : file_(std::move(file)), size_(size) {}

    int64_t Size() const override { return size_; }

    bool ReadAt(int64_t offset, uint8_t* out, int32_t length) override {
        if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) {
            return false;
        }
        if (fseeko(file_.get(), offset, SEEK_SET) != 0) {
            return false;
        }
        return std::fread(out, 1, static_cast<size_t>(length), file_.get()) == static_cast<size_t>(length);
    }

private:
    std::unique_ptr<std::FILE, FileCloser> file_;
    int64_t size_;
};

}  // namespace

std::unique_ptr<FileBytes> OpenStdioFile(const char* path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file || fseeko(file.get(), 0, SEEK_END) != 0) {
        return nullptr;
    }
    const int64_t size = ftello(file.get());
    if (size < 0) {
        return nullptr;
    }
    return std::make_unique<StdioFileBytes>(std::move(file), size);
}
