// SPDX-License-Identifier: MIT
// FFTReal compiled once, for programs whose other files include quarn with
// QUARN_EXTERN_TEMPLATES defined: they then compile none of the vector
// kernels, which take most of the time. The CMake target quarn::compiled
// adds this file and the definition to whatever links it.

#undef QUARN_EXTERN_TEMPLATES
#include "quarn/FFTReal.h"

template class quarn::FFTReal <float>;
template class quarn::FFTReal <double>;
