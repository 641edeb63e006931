// SPDX-License-Identifier: MIT
// For the static analysers: every header of the library, with its templates
// instantiated for the types the library offers, so that the template bodies
// are analysed too. Add new headers' templates here.

#include "quarn/DynArray.h"
#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "quarn/PhaseRotor.h"

template class quarn::DynArray <int>;
template class quarn::DynArray <float>;
template class quarn::DynArray <quarn::PhaseRotor>;
template class quarn::FFTReal <float>;
template class quarn::FFTReal <double>;
template void quarn::FFTReal_packed_to_complex (std::complex <float> [], const float [], int);
template void quarn::FFTReal_complex_to_packed (float [], const std::complex <float> [], int);
template void quarn::FFTReal_packed_to_complex (std::complex <double> [], const double [], int);
template void quarn::FFTReal_complex_to_packed (double [], const std::complex <double> [], int);
