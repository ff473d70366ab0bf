#include <gtest/gtest.h>

#include "host/EndTest.h"
#include "host/TimeText.h"
#include "host/VolumeLevel.h"

#include <climits>

namespace {

TEST(TimeText, WholeSecondsAsTimeOfDay) {
    const struct {
        int32_t ms;
        const wchar_t* text;
    } rows[] = {
        {0, L"00:00:00"},
        {65432, L"00:01:05"},
        {1999, L"00:00:01"},         // truncated, not rounded
        {3723999, L"01:02:03"},
        {86399999, L"23:59:59"},
        {86400000, L"00:00:00"},     // one day wraps
        {90061000, L"01:01:01"},     // one day plus 1 h 1 min 1 s
        {90000000, L"01:00:00"},     // 25 hours
        {-1, L"00:00:00"},           // -1 / 1000 is 0, not -1
        {-1500, L"00:00:01"},        // -1 s shown as its absolute value
        {-5000, L"00:00:05"},
        {-90061000, L"01:01:01"},
        {INT_MAX, L"20:31:23"},      // 2147483 s
        {INT_MIN, L"20:31:23"},      // -2147483 s
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TimeText(row.ms, L":"), row.text) << row.ms;
    }
}

TEST(TimeText, WritesTheRegionalSeparator) {
    EXPECT_EQ(TimeText(3723999, L"."), L"01.02.03");
    EXPECT_EQ(TimeText(3723999, L" h "), L"01 h 02 h 03");
}

TEST(TimeBarText, FourFormats) {
    const int32_t p = 65432;    // 1 min 5 s 432 ms
    const int32_t d = 3723999;  // 1 h 2 min 3 s 999 ms
    const struct {
        int32_t format;
        int32_t position;
        int32_t duration;
        const wchar_t* text;
    } rows[] = {
        {0, p, d, L"00:01:05"},
        {1, p, d, L"00:01:05/01:02:03"},
        {2, p, d, L"01:00:58"},
        {3, p, d, L"01:00:58/01:02:03"},
        {-1, p, d, L"00:01:05"},  // nothing selected
        {7, p, d, L"00:01:05"},
        {4, p, d, L"00:01:05"},
        // After the end: no graph, the last duration kept.
        {0, -1, 180000, L"00:00:00"},
        {1, -1, 180000, L"00:00:00/00:03:00"},
        {2, -1, 180000, L"00:03:00"},  // 180001 ms
        {3, -1, 180000, L"00:03:00/00:03:00"},
        {2, 185000, 180000, L"00:00:05"},       // 5 s past the end
        {1, 0, 90000000, L"00:00:00/01:00:00"},  // 25 hours
        // The difference wraps in 32 bits: both give INT_MIN ms.
        {2, -1, INT_MAX, L"20:31:23"},
        {2, INT_MIN, 0, L"20:31:23"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TimeBarText(row.format, row.position, row.duration, L":"), row.text)
            << row.format << " " << row.position << " " << row.duration;
    }
    EXPECT_EQ(TimeBarText(3, p, d, L"."), L"01.00.58/01.02.03");
}

TEST(EndTest, WithinTheLast500Ms) {
    const struct {
        int32_t position;
        int32_t duration;
        bool ended;
    } rows[] = {
        {179499, 180000, false},  // 501 ms before the end
        {179500, 180000, true},   // 500 ms before the end
        {200000, 180000, true},
        {-1, 180000, false},  // no graph after an end
        {-1, 0, true},        // nothing ever opened
        {-1, 499, true},      // a short file ends on every poll
        {-1, 500, false},
        // d - 500 wraps around INT_MIN to a large positive bound.
        {0, INT_MIN, false},
        {2147483147, INT_MIN, false},
        {2147483148, INT_MIN, true},
        {INT_MAX - 1, INT_MIN + 499, false},
        {INT_MAX, INT_MIN + 499, true},
        {INT_MIN, INT_MIN + 500, true},
        {INT_MIN, INT_MIN + 501, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TrackHasEnded(row.position, row.duration), row.ended) << row.position << " " << row.duration;
    }
}

TEST(WaveOutVolume, LowEightBitsTimes256InBothHalves) {
    const struct {
        int32_t volume;
        uint32_t value;
    } rows[] = {
        {0, 0x00000000u},   {1, 0x01000100u},   {128, 0x80008000u},
        {255, 0xFF00FF00u},  // not 0xFFFF: the loudest stays below full scale
        {256, 0x00000000u}, {300, 0x2C002C00u},  // 44 * 256
        {-1, 0xFF00FF00u},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WaveOutVolumeValue(row.volume), row.value) << row.volume;
    }
}

}  // namespace
