// FFTReal <double>: forward's accuracy at double level for every length up
// to 2^16 (backward, round trips and the complex view: their own files).

#include "quarn/FFTReal.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace
{

using quarn::FFTReal;

// Relative RMS error near 1e-16 at every length: direct long-double sums up
// to 2^12, the long-double FFT above. From 2^14 the passes above 2^13 points
// read the cosine table; a double phasor there would give about 1e-13.
TEST (Double, ForwardAccuracy)
{
    for (int bits = 0; bits <= 16; ++ bits)
    {
        const int n = 1 << bits;
        const FFTReal <double> fft (n);
        qtest::Error worst;
        for (unsigned seed : { 1u, 2u })
        {
            const std::vector <double> x = qtest::random_signal <double> (n, seed + 100 * bits);
            std::vector <double> f (n);
            fft.forward (f.data (), x.data ());
            const qtest::Error e = qtest::compare (f.data (), bits <= 12
                ? qtest::packed_dft_direct (x.data (), n)
                : qtest::packed_dft_fast (x.data (), n));
            EXPECT_LT (e.rel_rms, 1e-15) << "n " << n;
            EXPECT_LT (e.max_rel, 2e-15) << "n " << n;
            worst.rel_rms = std::max (worst.rel_rms, e.rel_rms);
            worst.max_rel = std::max (worst.max_rel, e.max_rel);
        }
        std::printf ("double N = 2^%d: rel RMS %.3g, max rel %.3g\n",
                     bits, worst.rel_rms, worst.max_rel);
    }
}

}  // namespace
