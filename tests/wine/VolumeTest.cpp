// The device search and the three volume calls, seen through the wave-output table. The real
// calls cannot be read back under Wine (device identifiers are refused), so a scripted machine
// stands in for them here; one case runs the real calls to show they are the default.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "engine/Morlune.h"
#include "host/Main.h"
#include "host/Volume.h"

namespace {

// The scripted machine: each device's support flags and query answer; every call is recorded.
struct Machine {
    std::vector<std::pair<DWORD, MMRESULT>> devices;
    UINT throwAt = UINT_MAX;
    std::vector<UINT_PTR> queried;
    std::vector<std::pair<UINT_PTR, DWORD>> volumes;
};
Machine machine;

UINT WINAPI FakeNumDevs() {
    return static_cast<UINT>(machine.devices.size());
}

MMRESULT WINAPI FakeDevCaps(UINT_PTR device, LPWAVEOUTCAPSA caps, UINT size) {
    machine.queried.push_back(device);
    if (size != 52)
        return MMSYSERR_INVALPARAM;
    if (device == machine.throwAt)
        throw std::runtime_error("driver fault");
    caps->dwSupport = machine.devices.at(device).first;
    return machine.devices.at(device).second;
}

MMRESULT WINAPI FakeSetVolume(HWAVEOUT device, DWORD volume) {
    machine.volumes.emplace_back(reinterpret_cast<UINT_PTR>(device), volume);
    return MMSYSERR_INVALHANDLE;  // what Wine answers: the callers must not care
}

class Volume : public ::testing::Test {
protected:
    void SetUp() override {
        machine = {};
        VolumeDevice = 0;
        WaveOut() = {FakeNumDevs, FakeDevCaps, FakeSetVolume};
    }
    void TearDown() override {
        WaveOut() = RealWaveOut();
        VolumeDevice = 0;
    }
    // Runs the search, then one SetVolume, and returns the devices it set.
    std::vector<UINT_PTR> DevicesSet(int volume = 255) {
        FindVolumeDevice();
        machine.volumes.clear();
        SetVolume(volume);
        std::vector<UINT_PTR> ids;
        for (auto& call : machine.volumes)
            ids.push_back(call.first);
        return ids;
    }
};

constexpr DWORD kVolume = WAVECAPS_VOLUME;
constexpr DWORD kOther = WAVECAPS_PITCH | WAVECAPS_LRVOLUME | WAVECAPS_SYNC;

TEST_F(Volume, FirstCapableDeviceIsSetBetweenTwoCallsForDeviceZero) {
    machine.devices = {
        {kOther, MMSYSERR_NOERROR}, {0, MMSYSERR_NOERROR}, {kVolume, MMSYSERR_NOERROR}, {kVolume, MMSYSERR_NOERROR}};
    EXPECT_EQ(DevicesSet(), (std::vector<UINT_PTR>{0, 2, 0}));
    EXPECT_EQ(VolumeDevice, 2u);
    EXPECT_EQ(machine.queried, (std::vector<UINT_PTR>{0, 1, 2})) << "the search ends at the first capable device";
}

TEST_F(Volume, WithoutACapableDeviceDeviceZeroIsSetThreeTimes) {
    machine.devices = {{kOther, MMSYSERR_NOERROR}, {0, MMSYSERR_NOERROR}};
    EXPECT_EQ(DevicesSet(), (std::vector<UINT_PTR>{0, 0, 0}));
    EXPECT_EQ(machine.queried, (std::vector<UINT_PTR>{0, 1}));

    SetUp();
    EXPECT_EQ(DevicesSet(), (std::vector<UINT_PTR>{0, 0, 0})) << "no device at all";
    EXPECT_TRUE(machine.queried.empty());
}

TEST_F(Volume, AFailedQueryDoesNotQualifyEvenWithFlagsWritten) {
    machine.devices = {{kVolume, MMSYSERR_NODRIVER}, {kVolume, MMSYSERR_NOERROR}};
    EXPECT_EQ(DevicesSet(), (std::vector<UINT_PTR>{0, 1, 0}));
}

TEST_F(Volume, AFaultInTheSearchIsSwallowedAndLeavesDeviceZero) {
    machine.devices = {{0, MMSYSERR_NOERROR}, {kVolume, MMSYSERR_NOERROR}};
    machine.throwAt = 1;
    EXPECT_NO_THROW(FindVolumeDevice());
    EXPECT_EQ(VolumeDevice, 0u);
    EXPECT_EQ(machine.queried, (std::vector<UINT_PTR>{0, 1}));
}

TEST_F(Volume, EachCallCarriesTheSameLevelInBothHalves) {
    machine.devices = {{0, MMSYSERR_NOERROR}, {kVolume, MMSYSERR_NOERROR}};
    const std::pair<int, DWORD> rows[] = {{255, 0xFF00FF00}, {0, 0},           {128, 0x80008000},
                                          {300, 0x2C002C00}, {-1, 0xFF00FF00}, {256, 0}};
    FindVolumeDevice();
    for (auto [volume, value] : rows) {
        machine.volumes.clear();
        SetVolume(volume);
        ASSERT_EQ(machine.volumes.size(), 3u) << volume;
        for (auto& call : machine.volumes)
            EXPECT_EQ(call.second, value) << volume;
    }
}

TEST_F(Volume, TheGraphIsKeptAtFullLevelForThisAndLaterFiles) {
    Engine = std::make_unique<TMorlune>();
    Engine->Volume = -2500;
    SetVolume(10);
    EXPECT_EQ(Engine->Volume, 0);
    EXPECT_EQ(machine.volumes.size(), 3u);
    Engine.reset();
}

// Where a call leads. The 32-bit compiler takes a constant initializer's address of an imported
// function as the module's import thunk, jmp [slot], rather than the slot's content; follow it.
template <typename F>
const void* Target(F f) {
    const auto* code = reinterpret_cast<const unsigned char*>(f);
    if (code[0] != 0xFF || code[1] != 0x25)
        return code;
    int32_t operand = 0;
    memcpy(&operand, code + 2, sizeof operand);
#ifdef _WIN64
    const auto* slot = code + 6 + operand;  // relative to the next instruction
#else
    const auto* slot = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(static_cast<uint32_t>(operand)));
#endif
    const void* target = nullptr;
    memcpy(&target, slot, sizeof target);
    return target;
}

TEST(VolumeReal, TheRealCallsAreTheDefaultAndTheirRefusalsAreHarmless) {
    WaveOutCalls calls = WaveOut();
    EXPECT_EQ(Target(calls.GetNumDevs), Target(&waveOutGetNumDevs));
    EXPECT_EQ(Target(calls.GetDevCaps), Target(&waveOutGetDevCapsA));
    EXPECT_EQ(Target(calls.SetVolume), Target(&waveOutSetVolume));
    FindVolumeDevice();
    EXPECT_LT(VolumeDevice, std::max(waveOutGetNumDevs(), 1u));
    SetVolume(200);
    VolumeDevice = 0;
}

}  // namespace
