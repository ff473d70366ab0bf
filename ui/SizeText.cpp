#include "ui/SizeText.h"

std::wstring SizeText(uint64_t bytes) {
    if (bytes <= 1024) {
        return std::to_wstring(bytes).append(L" 字节");
    }
    if (bytes <= 1048576) {
        return std::to_wstring(bytes / 1024).append(L" kB");
    }
    return std::to_wstring(bytes / 1048576).append(L" MB");
}
