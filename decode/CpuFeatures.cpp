#include "decode/CpuFeatures.h"

#include <atomic>

namespace {

// -1: no override; 0 or 1: the answer. The stream asks from DirectShow's threads too.
std::atomic<int> overridden{-1};

}  // namespace

bool CpuHasSse2() {
    const int forced = overridden.load();
    if (forced >= 0) {
        return forced == 1;
    }
#if defined(__x86_64__)
    return true;  // part of the architecture
#elif defined(__i386__)
    __builtin_cpu_init();  // the plug-in may be asked before libgcc's constructor ran
    return __builtin_cpu_supports("sse2");
#else
    return true;
#endif
}

void OverrideCpuHasSse2(std::optional<bool> answer) {
    overridden.store(answer ? (*answer ? 1 : 0) : -1);
}
