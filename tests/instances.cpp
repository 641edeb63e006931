#include "instances.h"

template class quarn::FFTReal <float>;
template class quarn::FFTReal <double>;
