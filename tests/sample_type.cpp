// SPDX-License-Identifier: MIT
// Compiled by CTest with SAMPLE defined as a sample type (tests/CMakeLists.txt):
// float and double must compile, any other type must fail with the
// library's own message.

#include "quarn/FFTReal.h"

static_assert (sizeof (quarn::FFTReal <SAMPLE>) > 0, "FFTReal instantiated");
