// SPDX-License-Identifier: MIT
// Demo: transforms a constant 16-sample signal and prints the magnitudes of
// the first eight bins, then a greeting.

#include "quarn/FFTReal.h"

#include <cmath>
#include <iostream>

int main (int, char *[])
{
    constexpr int LEN = 16;
    const quarn::FFTReal <float> fft (LEN);

    float x [LEN];
    float f [LEN];
    for (float &sample : x)
    {
        sample = 0.5f;
    }

    fft.forward (f, x);

    // Bin k has its real part at f[k] and its imaginary part at f[LEN/2 + k];
    // bin 0 has no imaginary element.
    for (int k = 0; k < LEN / 2; ++ k)
    {
        const float re = f [k];
        const float im = (k == 0) ? 0.0f : f [LEN / 2 + k];
        const float sq = static_cast <float> (double (re) * re + double (im) * im);
        const float mag = static_cast <float> (std::sqrt (double (sq)));
        std::cout << mag << std::endl;
    }
    std::cout << "Hello World!" << std::endl;

    return 0;
}
