#include "ui/ResizeRule.h"

#include "ui/X87Precision.h"

#include <bit>

namespace {

// The doubles nearest to 4/3 and 16/9; both lie just below the fraction, so a product that
// would be whole comes out one less after truncation (480 gives 639 in 4:3).
const double kFourByThree = std::bit_cast<double>(uint64_t{0x3FF5555555555555});
const double kSixteenByNine = std::bit_cast<double>(uint64_t{0x3FFC71C71C71C71C});

// Quotient formed with a 64-bit significand, then stored as a double. A zero divisor has no
// ratio; 4:3 keeps the window usable.
double Quotient(int32_t dividend, int32_t divisor) {
    if (divisor == 0) {
        return kFourByThree;
    }
    volatile long double a = dividend;  // volatile: the division must happen inside the guard
    volatile long double b = divisor;
    volatile double q = static_cast<double>(a / b);
    return q;
}

int32_t TruncateToInt32(long double value) {
    // Sizes this large are meaningless; clamp instead of an out-of-range conversion.
    if (value >= 2147483647.0L) {
        return INT32_MAX;
    }
    if (value <= -2147483648.0L) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);  // truncates toward zero
}

}  // namespace

void ApplyResizeRule(const AspectMarks& marks, int32_t videoWidth, int32_t videoHeight, int32_t& newWidth,
                     int32_t& newHeight) {
    const X87ExtendedPrecision precision;

    // Each marked item overrides the earlier ones; with none marked, 4:3.
    double ratio = kFourByThree;
    if (marks.keep) {
        ratio = Quotient(videoWidth, videoHeight);
    }
    if (marks.fourByThree) {
        ratio = kFourByThree;
    }
    if (marks.sixteenByNine) {
        ratio = kSixteenByNine;
    }
    if (marks.free) {
        ratio = Quotient(newWidth, newHeight);
    }

    // Volatile operands keep the product between the guard's two control-word writes.
    volatile long double height = newHeight;
    volatile long double factor = ratio;
    volatile long double product = height * factor;
    newWidth = TruncateToInt32(product);

    if (newWidth < 320 && newHeight < 200) {
        newWidth = 320;
        newHeight = 200;
    }
}
