#include <gtest/gtest.h>

#include "engine/RefTime.h"

#include <climits>

namespace {

TEST(RefTime, MillisecondsScaleBy10000In64Bits) {
    EXPECT_EQ(MsToRefTime(90000), 900000000);
    EXPECT_EQ(MsToRefTime(-1), -10000);
    EXPECT_EQ(MsToRefTime(INT_MAX), 21474836470000);  // past 32 bits
    EXPECT_EQ(MsToRefTime(INT_MIN), -21474836480000);
}

TEST(RefTime, BackToMillisecondsTruncatesTowardZero) {
    EXPECT_EQ(RefTimeToMs(900000000), 90000);
    EXPECT_EQ(RefTimeToMs(19999), 1);
    EXPECT_EQ(RefTimeToMs(-9999), 0);
    EXPECT_EQ(RefTimeToMs(-15000), -1);  // flooring would give -2
    EXPECT_EQ(RefTimeToMs(21474836479999), INT_MAX);
}

}  // namespace
