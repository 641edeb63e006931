// The engine is compiled once for all the test programs that include this
// (tests/instances.cpp); the vector kernels of three instruction sets in
// every file would cost most of a build's time, and more so under the
// sanitizers. The programs that test the checks compile their own, with
// their own check setting.

#ifndef QUARN_TESTS_INSTANCES_H
#define QUARN_TESTS_INSTANCES_H

#include "quarn/FFTReal.h"

extern template class quarn::FFTReal <float>;
extern template class quarn::FFTReal <double>;

#endif  // QUARN_TESTS_INSTANCES_H
