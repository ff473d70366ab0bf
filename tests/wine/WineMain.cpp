// Entry point of every Windows test executable.
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
