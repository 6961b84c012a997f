#include "numeric/fp_control.h"

#if defined(_WIN32)
#include <float.h>
#else
#include <cfenv>
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif
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

#if defined(__x86_64__) && defined(__GNUC__)

// feclearexcept rewrites the whole x87 environment (fnstenv, fldenv: slow
// instructions, a large part of a small root-finding call) although all the
// arithmetic runs on SSE and the x87 status has no flag to clear. It is called
// only when that status has one; the SSE flags are cleared in the SSE control
// and status register directly, which is all that feclearexcept does there.
void clearAccruedFlags(unsigned int) {
    unsigned short x87Status = 0;
    __asm__ volatile("fnstsw %0" : "=m"(x87Status));
    if ((x87Status & FE_ALL_EXCEPT) != 0) {
        std::feclearexcept(FE_ALL_EXCEPT);
    } else {
        _mm_setcsr(_mm_getcsr() & ~static_cast<unsigned int>(FE_ALL_EXCEPT));
    }
}

#else

void clearAccruedFlags(unsigned int) { std::feclearexcept(FE_ALL_EXCEPT); }

#endif

#endif

}  // namespace tallowfit
