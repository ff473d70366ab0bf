// The time bar's texts: one time as "hh:nn:ss" and the four formats the options dialog offers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Whole seconds of ms (truncated toward zero), shown as a time of day: the hours wrap at one
// day and a negative count shows its absolute value. The separator is the user's regional one.
std::wstring TimeText(int32_t ms, std::wstring_view separator);

// Format 0 position, 1 position/duration, 2 remaining, 3 remaining/duration; any other index
// (-1 when nothing is selected) reads as 0. Remaining time wraps in 32 bits like the player's.
std::wstring TimeBarText(int32_t format, int32_t positionMs, int32_t durationMs, std::wstring_view separator);
