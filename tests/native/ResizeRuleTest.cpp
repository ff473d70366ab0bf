#include <gtest/gtest.h>

#include "ui/ResizeRule.h"
#include "ui/X87Precision.h"

namespace {

// Puts the test thread's own control word back whatever a case did.
class ControlWordRestorer {
public:
    ControlWordRestorer() : saved_(ReadX87ControlWord()) {}
    ~ControlWordRestorer() { WriteX87ControlWord(saved_); }

private:
    uint16_t saved_;
};

// 0x27F: 53-bit precision, as hosts built by other compilers run; 0x37F: 64-bit, the Linux and
// MinGW default; 0x07F: 24-bit, what Wine's Direct3D video renderer leaves behind.
constexpr uint16_t kCallerWords[] = {0x027F, 0x037F, 0x007F};

constexpr AspectMarks kKeep{true, false, false, false};
constexpr AspectMarks k43{false, true, false, false};
constexpr AspectMarks k169{false, false, true, false};
constexpr AspectMarks kFree{false, false, false, true};

struct Row {
    const char* what;
    AspectMarks marks;
    int32_t videoWidth, videoHeight;
    int32_t width, height;  // proposed
    int32_t wantWidth, wantHeight;
};

const Row kRows[] = {
    {"4:3 at 480", k43, 0, 0, 1, 480, 639, 480},
    {"4:3 at 360", k43, 0, 0, 1, 360, 479, 360},
    {"16:9 at 360", k169, 0, 0, 1, 360, 639, 360},
    {"16:9 at 720", k169, 0, 0, 1, 720, 1279, 720},
    {"keep 640x480", kKeep, 640, 480, 1, 480, 639, 480},
    {"keep 720x576", kKeep, 720, 576, 1, 576, 720, 576},
    {"keep 352x288", kKeep, 352, 288, 1, 288, 352, 288},
    {"keep at another height", kKeep, 720, 576, 1, 400, 500, 400},
    {"free 640x480", kFree, 0, 0, 640, 480, 639, 480},
    {"free 720x576", kFree, 0, 0, 720, 576, 720, 576},
    {"free 500x400", kFree, 0, 0, 500, 400, 500, 400},
    // Minimum size: only when both are below.
    {"4:3 at 150", k43, 0, 0, 1, 150, 320, 200},
    {"4:3 at 200", k43, 0, 0, 1, 200, 266, 200},
    {"16:9 at 199", k169, 0, 0, 1, 199, 353, 199},
    {"keep 176x144", kKeep, 176, 144, 1, 144, 320, 200},
    {"free 100x100", kFree, 0, 0, 100, 100, 320, 200},
    // Several marks: the last in the order keep, 4:3, 16:9, free decides.
    {"keep+4:3", {true, true, false, false}, 720, 576, 1, 576, 767, 576},
    {"keep+4:3+16:9", {true, true, true, false}, 720, 576, 1, 576, 1023, 576},
    {"4:3+free", {false, true, false, true}, 0, 0, 500, 400, 500, 400},
    {"all four", {true, true, true, true}, 720, 576, 640, 480, 639, 480},
    // No ratio defined: 4:3 keeps the window usable.
    {"no mark", {}, 720, 576, 500, 600, 799, 600},
    {"keep, no picture size", kKeep, 0, 0, 1, 600, 799, 600},
    {"keep, zero height", kKeep, 640, 0, 1, 480, 639, 480},
    {"free, zero height", kFree, 0, 0, 640, 0, 320, 200},
    {"keep+free, zero height", {true, false, false, true}, 720, 576, 640, 0, 320, 200},
    {"keep, zero height, then free", {true, false, false, true}, 640, 0, 720, 576, 720, 576},
};

TEST(ResizeRule, EdgeCasesUnderEveryCallerPrecision) {
    const ControlWordRestorer restorer;
    for (const uint16_t word : kCallerWords) {
        for (const Row& row : kRows) {
            int32_t width = row.width;
            int32_t height = row.height;
            WriteX87ControlWord(word);
            ApplyResizeRule(row.marks, row.videoWidth, row.videoHeight, width, height);
            const uint16_t after = ReadX87ControlWord();
            WriteX87ControlWord(0x037F);  // gtest's own arithmetic runs at the usual precision
            EXPECT_EQ(width, row.wantWidth) << row.what << " under 0x" << std::hex << word;
            EXPECT_EQ(height, row.wantHeight) << row.what << " under 0x" << std::hex << word;
            EXPECT_EQ(after, word) << row.what << ": caller's control word not restored";
        }
    }
}

// Without the guard a 53-bit caller gets 640: proves that the words above really change the
// arithmetic, so the table is not passing by accident.
TEST(ResizeRule, PrecisionControlReallyMatters) {
    const ControlWordRestorer restorer;
    volatile long double ratio = 1.3333333333333333;
    volatile long double height = 480;
    WriteX87ControlWord(0x027F);
    volatile long double at53 = height * ratio;
    WriteX87ControlWord(0x037F);
    volatile long double at64 = height * ratio;
    EXPECT_EQ(static_cast<int32_t>(at53), 640);
    EXPECT_EQ(static_cast<int32_t>(at64), 639);
}

TEST(X87ExtendedPrecision, Sets64BitsToNearestKeepsTheRestAndRestores) {
    const ControlWordRestorer restorer;
    const struct {
        uint16_t caller;
        uint16_t inside;
    } rows[] = {
        {0x027F, 0x037F},
        {0x007F, 0x037F},
        {0x0C7F, 0x037F},  // chop rounding and 24 bits become nearest and 64 bits
        {0x127F, 0x137F},  // the infinity-control bit is the caller's
        {0x037F, 0x037F},
    };
    for (const auto& row : rows) {
        WriteX87ControlWord(row.caller);
        uint16_t inside = 0;
        {
            const X87ExtendedPrecision guard;
            inside = ReadX87ControlWord();
        }
        const uint16_t after = ReadX87ControlWord();
        WriteX87ControlWord(0x037F);
        EXPECT_EQ(inside, row.inside) << std::hex << row.caller;
        EXPECT_EQ(after, row.caller) << std::hex << row.caller;
    }
}

}  // namespace
