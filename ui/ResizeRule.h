// The video window's aspect-ratio and minimum-size rule, applied to every proposed outer size.
#pragma once

#include <cstdint>

// Check marks of the four aspect items of the context menu.
struct AspectMarks {
    bool keep = false;           // Mantainaspectratio_Menu: the picture's own ratio
    bool fourByThree = false;    // N43screenratio1
    bool sixteenByNine = false;  // N169screenration1
    bool free = false;           // freeaspectratio1: the proposed size's own ratio
};

// The height is the free dimension: newWidth becomes newHeight times the chosen ratio, truncated.
// Below 320 x 200 in both dimensions the size becomes 320 x 200. newWidth is read only in free
// mode; newHeight is written only by the minimum size.
void ApplyResizeRule(const AspectMarks& marks, int32_t videoWidth, int32_t videoHeight, int32_t& newWidth,
                     int32_t& newHeight);
