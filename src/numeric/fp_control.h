// The root finder's floating-point control, kept behind one portable pair:
// _control87/_clearfp where the C runtime has them (Windows), <cfenv> elsewhere.
#ifndef TALLOWFIT_NUMERIC_FP_CONTROL_H
#define TALLOWFIT_NUMERIC_FP_CONTROL_H

namespace tallowfit {

// Masks the underflow exception so that underflow yields a denormal or zero and
// never traps; returns the control word as it stands after the masking.
unsigned int maskUnderflow();

// Clears the accrued exception flags and writes the underflow mask bit once more
// from the control word that maskUnderflow returned.
void clearAccruedFlags(unsigned int maskedControlWord);

}  // namespace tallowfit

#endif
