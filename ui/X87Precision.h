// Extended precision for the x87 unit, whatever the calling thread set.
//
// The player (and Wine's video renderer, which drops to 24 bits) may run the x87 at less than a
// 64-bit significand; the resize rule's product needs all 64 bits. The guard reads the caller's
// control word, sets 64-bit precision with round to nearest, and puts the caller's word back.
#pragma once

#include <cstdint>

#if !defined(__i386__) && !defined(__x86_64__)
#error "The x87 precision guard needs an x86 target"
#endif

inline uint16_t ReadX87ControlWord() {
    uint16_t word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}

inline void WriteX87ControlWord(uint16_t word) {
    __asm__ __volatile__("fldcw %0" : : "m"(word) : "memory");
}

class X87ExtendedPrecision {
public:
    // Precision control (bits 8-9) = 11: 64-bit significand; rounding control (bits 10-11) = 00:
    // to nearest. Exception masks and the rest are the caller's.
    X87ExtendedPrecision() : saved_(ReadX87ControlWord()) {
        WriteX87ControlWord(static_cast<uint16_t>((saved_ & ~0x0F00u) | 0x0300u));
    }
    ~X87ExtendedPrecision() { WriteX87ControlWord(saved_); }
    X87ExtendedPrecision(const X87ExtendedPrecision&) = delete;
    X87ExtendedPrecision& operator=(const X87ExtendedPrecision&) = delete;

private:
    uint16_t saved_;
};
