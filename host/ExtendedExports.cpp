// The exports beside the record through which the player's library, title formatting, converter,
// burner and ReplayGain look inside OMA files: tag text and header facts by name, and the decoded
// PCM through handles. The player calls them from its worker threads, several at once, while its
// UI thread plays another file through the record, so nothing here touches the engine, COM or a
// window, never shows a box, and keeps no state but the table of open handles and the last files'
// front reads, each behind its lock.
// Every export catches everything at its edge: an exception must not reach the player's thread.
#include <windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/AnsiText.h"
#include "decode/PcmReader.h"
#include "decode/WinFileBytes.h"
#include "host/ExtendedFields.h"
#include "host/FrontReads.h"
#include "host/LibraryHold.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "tag text goes out as the platform's UTF-16");

namespace {

std::wstring_view AsWide(const std::u16string& text) {
    return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

// The library asks for a file's fields one by one, so the last few files' reads are kept: one
// open and one read of the front serve them all. The name, size and last write tell a file that
// changed since; a rewrite through our own writing exports empties the cache.
class FrontCache {
public:
    // The generation a read is begun in: a read begun before a Forget is not kept.
    uint64_t Generation() {
        std::lock_guard lock(mutex_);
        return generation_;
    }

    void Forget() {
        std::lock_guard lock(mutex_);
        ++generation_;
        for (Entry& e : entries_) {
            e = Entry{};
        }
    }

    std::shared_ptr<const OmaRead> Find(const std::wstring& name, const WIN32_FILE_ATTRIBUTE_DATA& facts) {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            if (e.name == name && Same(e.facts, facts)) {
                return e.read;
            }
        }
        return nullptr;
    }

    void Keep(const std::wstring& name,
              const WIN32_FILE_ATTRIBUTE_DATA& facts,
              std::shared_ptr<const OmaRead> read,
              uint64_t generation) {
        std::lock_guard lock(mutex_);
        if (generation != generation_) {
            return;
        }
        entries_[next_] = {name, facts, std::move(read)};
        next_ = (next_ + 1) % entries_.size();
    }

private:
    struct Entry {
        std::wstring name;
        WIN32_FILE_ATTRIBUTE_DATA facts{};
        std::shared_ptr<const OmaRead> read;  // shared, not copied: an MP3's frame index can be long
    };

    static bool Same(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
        return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
               CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
    }

    std::mutex mutex_;
    std::array<Entry, 8> entries_;
    size_t next_ = 0;
    uint64_t generation_ = 0;
};

FrontCache& FrontReads() {
    static FrontCache cache;
    return cache;
}

std::shared_ptr<const OmaRead> ReadFront(const wchar_t* name) {
    FrontCache& cache = FrontReads();
    const uint64_t generation = cache.Generation();
    WIN32_FILE_ATTRIBUTE_DATA facts{};
    if (!GetFileAttributesExW(name, GetFileExInfoStandard, &facts) ||
        (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return nullptr;
    }
    const std::wstring key(name);
    if (auto cached = cache.Find(key, facts)) {
        return cached;
    }
    auto file = OpenFileBytes(key);
    if (!file) {
        return nullptr;
    }
    auto read = std::make_shared<const OmaRead>(ReadOma(*file));
    cache.Keep(key, facts, read, generation);
    return read;
}

// One field's value for a file, or nothing. Only "family" may be answered from the name alone;
// everything else reads the file's front.
std::optional<std::u16string> FieldOf(const wchar_t* name, const char* field) {
    if (!name || !field) {
        return std::nullopt;
    }
    const std::u16string_view wideName(reinterpret_cast<const char16_t*>(name));
    if (IsNameOnlyField(field)) {
        if (auto family = FamilyOfName(wideName)) {
            return family;
        }
    }
    if (wideName.empty()) {
        return std::nullopt;
    }
    const auto read = ReadFront(name);
    if (!read) {
        return FieldOfName(wideName, field);  // missing, a directory, or not readable
    }
    return ExtendedField(*read, field);
}

bool IsHighSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// A reader and the reference on the library that keeps its code loaded for as long as it lives,
// as an open graph keeps it: a host may unload us while a handle is open, and still read and
// close it.
struct HeldReader {
    explicit HeldReader(std::unique_ptr<PcmReader> r) : reader(std::move(r)) { HoldLibraryForReader(); }
    HeldReader(const HeldReader&) = delete;
    HeldReader& operator=(const HeldReader&) = delete;
    ~HeldReader() {
        reader.reset();
        LetGoOfLibraryForReader();
    }
    std::unique_ptr<PcmReader> reader;
};

// The open readers by handle. A reader is shared so that a close on one thread cannot pull it
// from under a read on another; the lock guards the table only, never a decode.
class Readers {
public:
    intptr_t Add(std::unique_ptr<PcmReader> reader) {
        auto shared = std::make_shared<HeldReader>(std::move(reader));
        const auto handle = reinterpret_cast<intptr_t>(shared->reader.get());
        std::lock_guard lock(mutex_);
        table_.emplace(handle, std::move(shared));
        return handle;
    }

    std::shared_ptr<HeldReader> Find(intptr_t handle) {
        std::lock_guard lock(mutex_);
        const auto it = table_.find(handle);
        return it == table_.end() ? nullptr : it->second;
    }

    void Remove(intptr_t handle) {
        std::shared_ptr<HeldReader> last;  // released outside the lock
        std::lock_guard lock(mutex_);
        const auto it = table_.find(handle);
        if (it != table_.end()) {
            last = std::move(it->second);
            table_.erase(it);
        }
    }

private:
    std::mutex mutex_;
    std::map<intptr_t, std::shared_ptr<HeldReader>> table_;
};

Readers& OpenReaders() {
    static Readers readers;
    return readers;
}

intptr_t OpenReader(const wchar_t* name, int* size, int* bps, int* nch, int* srate) {
    if (!name || !*name) {
        return 0;
    }
    auto reader = PcmReader::Open(OpenFileBytes(std::wstring(name)));
    if (!reader) {
        return 0;
    }
    const int64_t bytes = reader->Bytes();
    if (size) {
        *size = bytes > INT32_MAX ? -1 : static_cast<int>(bytes);
    }
    if (bps) {
        *bps = reader->BitsPerSample();
    }
    if (nch) {
        *nch = reader->Channels();
    }
    if (srate) {
        *srate = reader->SampleRate();
    }
    return OpenReaders().Add(std::move(reader));
}

}  // namespace

void ForgetFrontReads() {
    FrontReads().Forget();
}

extern "C" {

int winampGetExtendedFileInfoW(const wchar_t* filename, const char* metadata, wchar_t* ret, int retlen) {
    try {
        const auto value = FieldOf(filename, metadata);
        if (!value) {
            return 0;
        }
        (void)CopyTruncated(AsWide(*value), ret, retlen, IsHighSurrogate);
        return 1;
    } catch (...) {
        return 0;
    }
}

int winampGetExtendedFileInfo(const char* filename, const char* metadata, char* ret, int retlen) {
    try {
        if (!filename) {
            return 0;
        }
        // An ANSI name the code page cannot turn into UTF-16 names no file.
        const std::wstring wideName = AnsiToWide(filename);
        if (wideName.empty() && *filename) {
            return 0;
        }
        const auto value = FieldOf(wideName.c_str(), metadata);
        if (!value) {
            return 0;
        }
        // The platform's conversion, with its default character for what the code page lacks.
        const std::string ansi = WideToAnsi(AsWide(*value));
        const auto isLead = [](char c) { return SystemLeadByte(static_cast<unsigned char>(c)); };
        (void)CopyTruncated(std::string_view(ansi), ret, retlen, isLead);
        return 1;
    } catch (...) {
        return 0;
    }
}

intptr_t winampGetExtendedRead_openW(const wchar_t* fn, int* size, int* bps, int* nch, int* srate) {
    try {
        return OpenReader(fn, size, bps, nch, srate);
    } catch (...) {
        return 0;
    }
}

intptr_t winampGetExtendedRead_open(const char* fn, int* size, int* bps, int* nch, int* srate) {
    try {
        if (!fn) {
            return 0;
        }
        return OpenReader(AnsiToWide(fn).c_str(), size, bps, nch, srate);
    } catch (...) {
        return 0;
    }
}

intptr_t winampGetExtendedRead_getData(intptr_t handle, char* dest, size_t len, int* killswitch) {
    try {
        const auto killed = [killswitch] { return killswitch && *static_cast<volatile int*>(killswitch) != 0; };
        if (!dest || len == 0 || killed()) {
            return 0;
        }
        const auto held = OpenReaders().Find(handle);
        if (!held) {
            return 0;
        }
        const int64_t got = held->reader->Read(reinterpret_cast<uint8_t*>(dest), len, [&] { return !killed(); });
        // A file that fails mid-way ends the stream where it failed.
        return got > 0 ? static_cast<intptr_t>(got) : 0;
    } catch (...) {
        return 0;
    }
}

int winampGetExtendedRead_setTime(intptr_t handle, int millisecs) {
    try {
        const auto held = OpenReaders().Find(handle);
        if (!held) {
            return 0;
        }
        held->reader->SeekMs(millisecs);
        return 1;
    } catch (...) {
        return 0;
    }
}

void winampGetExtendedRead_close(intptr_t handle) {
    try {
        OpenReaders().Remove(handle);
    } catch (...) {
    }
}

}  // extern "C"
