#include "host/TagFileWriter.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "host/AtomicReplace.h"
#include "oma/OmaFile.h"

namespace {

constexpr DWORD kCopyChunk = 1 << 20;

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

UniqueHandle Owned(HANDLE h) {
    return UniqueHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

bool ReadAtOffset(HANDLE file, int64_t offset, void* out, DWORD length) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD read = 0;
    return ReadFile(file, out, length, &read, &at) && read == length;
}

std::optional<int64_t> SizeOf(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        return std::nullopt;
    }
    return size.QuadPart;
}

// The reader's view of a handle we hold.
class HandleBytes final : public FileBytes {
public:
    HandleBytes(HANDLE file, int64_t size) : file_(file), size_(size) {}
    int64_t Size() const override { return size_; }
    bool ReadAt(int64_t offset, uint8_t* out, int32_t length) override {
        if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) {
            return false;
        }
        return ReadAtOffset(file_, offset, out, static_cast<DWORD>(length));
    }

private:
    HANDLE file_;
    int64_t size_;
};

bool HeaderRead(OmaStatus status) {
    return status != OmaStatus::NotOma && status != OmaStatus::TruncatedHeader && status != OmaStatus::TagPastEnd;
}

TagFileState StateOf(const OmaRead& read) {
    if (!HeaderRead(read.status)) {
        return TagFileState::NotOma;
    }
    return read.status == OmaStatus::Encrypted ? TagFileState::Encrypted : TagFileState::Editable;
}

std::optional<TagFileState> StateOfAttributes(DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return TagFileState::Missing;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return TagFileState::Directory;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        return TagFileState::ReadOnly;
    }
    return std::nullopt;
}

bool WriteAll(const TagWriteSeams& seams, HANDLE file, const void* bytes, DWORD size) {
    if (seams.write) {
        return seams.write(file, bytes, size);
    }
    DWORD written = 0;
    return WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

// Whether the new file reads as it must: what the old one read, with the edits.
bool ReadsAsEdited(HANDLE file, int64_t expectedSize, const OmaRead& before, const std::vector<TagEdit>& edits) {
    const auto size = SizeOf(file);
    if (!size || *size != expectedSize) {
        return false;
    }
    HandleBytes bytes(file, *size);
    const OmaRead after = ReadOma(bytes);
    if (after.status != before.status || after.info.samples != before.info.samples) {
        return false;
    }
    for (auto e = edits.begin(); e != edits.end(); ++e) {
        const bool later = std::any_of(e + 1, edits.end(), [&](const TagEdit& l) { return l.field == e->field; });
        if (!later && after.tags.Text(e->field) != e->text.substr(0, e->text.find(u'\0'))) {
            return false;
        }
    }
    return true;
}

// Builds the new file: the rewritten tag blocks, then every byte from the old header on.
bool BuildReplacement(HANDLE target,
                      HANDLE replacement,
                      const std::vector<uint8_t>& blocks,
                      int64_t from,
                      int64_t size,
                      const TagWriteSeams& seams) {
    if (!WriteAll(seams, replacement, blocks.data(), static_cast<DWORD>(blocks.size()))) {
        return false;
    }
    std::vector<uint8_t> chunk(kCopyChunk);
    for (int64_t at = from; at < size;) {
        const auto n = static_cast<DWORD>(std::min<int64_t>(kCopyChunk, size - at));
        if (!ReadAtOffset(target, at, chunk.data(), n) || !WriteAll(seams, replacement, chunk.data(), n)) {
            return false;
        }
        at += n;
    }
    // On the disk before it takes the old one's name: a power cut after the replace must not
    // find a name pointing at data still in a cache.
    return FlushFileBuffers(replacement);
}

}  // namespace

TagFileState CheckTagFile(const std::wstring& name) {
    RecoverInterruptedReplace(name);
    if (const auto state = StateOfAttributes(GetFileAttributesW(name.c_str()))) {
        return *state;
    }
    const auto file =
        Owned(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const auto size = file ? SizeOf(file.get()) : std::nullopt;
    if (!size) {
        return TagFileState::Missing;
    }
    HandleBytes bytes(file.get(), *size);
    return StateOf(ReadOma(bytes));
}

bool WriteTagFile(const std::wstring& name, const std::vector<TagEdit>& edits, const TagWriteSeams& seams) {
    RecoverInterruptedReplace(name);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (StateOfAttributes(attributes)) {
        return false;
    }
    // No other writer while we copy: a program holding it for writing makes this fail, and none
    // can start. Readers stay, and so does deletion, which the replace needs.
    auto target = Owned(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const auto size = target ? SizeOf(target.get()) : std::nullopt;
    if (!size) {
        return false;
    }
    HandleBytes bytes(target.get(), *size);
    const OmaRead before = ReadOma(bytes);
    if (StateOf(before) != TagFileState::Editable) {
        return false;
    }
    const int64_t headerAt = before.info.dataOffset - kEa3HeaderSize;
    if (headerAt < 0 || headerAt > INT32_MAX) {
        return false;
    }
    std::vector<uint8_t> blocks(static_cast<size_t>(headerAt));
    if (!bytes.ReadAt(0, blocks.data(), static_cast<int32_t>(blocks.size()))) {
        return false;
    }
    const auto rewritten = RewriteTagBlocks(blocks, edits);
    if (!rewritten || rewritten->size() > INT32_MAX) {
        return false;
    }
    if (*rewritten == blocks) {
        return true;  // it holds every value already
    }

    const std::wstring replacementName = ReplacementName(name);
    const int64_t newSize = static_cast<int64_t>(rewritten->size()) + (*size - headerAt);
    {
        // Exclusive, and new: a replacement another writer is building makes this fail.
        auto replacement = Owned(CreateFileW(replacementName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!replacement) {
            return false;
        }
        const bool built = BuildReplacement(target.get(), replacement.get(), *rewritten, headerAt, *size, seams) &&
                           ReadsAsEdited(replacement.get(), newSize, before, edits);
        if (!built) {
            replacement.reset();
            (void)DeleteFileW(replacementName.c_str());
            return false;
        }
    }
    (void)SetFileAttributesW(replacementName.c_str(), attributes);
    target.reset();  // the replace must open it for deletion

    if (seams.beforeReplace) {
        seams.beforeReplace();
    }
    static std::atomic<unsigned> serial{0};
    const std::wstring backup = BackupName(name, GetCurrentProcessId() * 1000u + serial++ % 1000u);
    if (!ReplaceAtomically(name, replacementName, backup)) {
        (void)DeleteFileW(replacementName.c_str());
        return false;
    }
    // A reader that still holds the old file (our own source playing it) keeps it until it
    // closes it; the next write clears the name if this cannot.
    (void)DeleteFileW(backup.c_str());
    return true;
}
