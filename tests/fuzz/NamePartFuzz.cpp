// The name part over arbitrary bytes read as code page 936. Whatever the bytes, the name is a
// suffix of the path that begins just after a separator character (or at the start), and holds no
// separator character: a 0x5C or 0x3A byte that trails a lead byte is part of a Chinese character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/NamePart.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

bool IsLead936(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

bool NoLeadBytes(unsigned char /*byte*/) {
    return false;
}

bool IsSeparator(char byte) {
    return byte == '\\' || byte == ':';
}

// Where each character of the path starts, reading left to right: a lead byte with a byte after it
// takes that byte along, whatever it is.
std::vector<bool> CharacterStarts(std::string_view path, LeadByteTest isLeadByte) {
    std::vector<bool> starts(path.size() + 1, false);
    size_t i = 0;
    while (i < path.size()) {
        starts[i] = true;
        const bool pair = isLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size();
        i += pair ? 2 : 1;
    }
    starts[path.size()] = true;
    return starts;
}

void CheckNamePart(std::string_view path, LeadByteTest isLeadByte) {
    const std::string name = NamePart(path, isLeadByte);
    FUZZ_REQUIRE(name.size() <= path.size());
    const size_t cut = path.size() - name.size();
    FUZZ_REQUIRE(path.substr(cut) == name);

    const std::vector<bool> starts = CharacterStarts(path, isLeadByte);
    FUZZ_REQUIRE(starts[cut]);
    // The cut follows the last separator character, so the one before it must be one.
    if (cut > 0) {
        FUZZ_REQUIRE(IsSeparator(path[cut - 1]) && starts[cut - 1]);
    }
    for (size_t i = cut; i < path.size(); ++i) {
        FUZZ_REQUIRE(!(starts[i] && IsSeparator(path[i])));
    }
    // A name has nothing left to cut.
    FUZZ_REQUIRE(NamePart(name, isLeadByte) == name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view path(reinterpret_cast<const char*>(data), size);
    CheckNamePart(path, IsLead936);
    CheckNamePart(path, NoLeadBytes);
    return 0;
}
