// The compact numbering of adjusted coefficients: a fit mask marks each
// coefficient as adjusted (non-zero byte) or held (zero); the adjusted ones are
// numbered 0 .. f-1 in ascending order of their index.
#ifndef TALLOWFIT_NUMERIC_FIT_MASK_H
#define TALLOWFIT_NUMERIC_FIT_MASK_H

#include <cstdint>

namespace tallowfit {

// f: the number of adjusted coefficients among the first count.
inline uint32_t countAdjusted(const unsigned char* fitMask, uint32_t count) {
    uint32_t adjusted = 0;
    for (uint32_t l = 0; l < count; ++l)
        if (fitMask[l]) ++adjusted;
    return adjusted;
}

// Calls visit(index, compactNumber) for every adjusted coefficient, in
// ascending index order.
template <typename Visit>
inline void forEachAdjusted(const unsigned char* fitMask, uint32_t count, Visit visit) {
    uint32_t compact = 0;
    for (uint32_t l = 0; l < count; ++l)
        if (fitMask[l]) visit(l, compact++);
}

// indices[j] = the index of the coefficient numbered j; returns f. The
// per-point loops read this list instead of testing the mask every time.
inline uint32_t listAdjusted(const unsigned char* fitMask, uint32_t count, uint32_t* indices) {
    uint32_t adjusted = 0;
    forEachAdjusted(fitMask, count, [&](uint32_t l, uint32_t j) {
        indices[j] = l;
        adjusted = j + 1;
    });
    return adjusted;
}

}  // namespace tallowfit

#endif
