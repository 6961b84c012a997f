#include "fp_control.h"

#if defined(_WIN32)
#include <float.h>
#else
#include <cfenv>
#endif

namespace tallowfit {

#if defined(_WIN32)

unsigned int maskUnderflow() { return _control87(_EM_UNDERFLOW, _EM_UNDERFLOW); }

void clearAccruedFlags(unsigned int maskedControlWord) {
    _clearfp();
    _control87(maskedControlWord & _EM_UNDERFLOW, _EM_UNDERFLOW);
}

#else

// IEEE exceptions never trap by default here (C99 Annex F), so underflow is
// already masked; nothing in this module unmasks it.
unsigned int maskUnderflow() { return 0; }

void clearAccruedFlags(unsigned int) { std::feclearexcept(FE_ALL_EXCEPT); }

#endif

}  // namespace tallowfit
