// FFTReal <double>: the tables in double and forward's accuracy at double
// level for every length up to 2^16 (beyond: opt-in long tests).

#include "quarn/FFTReal.h"
#include "probe.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace
{

using quarn::FFTReal;
using Probe = quarn::FFTRealProbe <double>;

TEST (Double, WorkedExamples)
{
    const FFTReal <double> fft (4);
    const std::vector <double> x = { 1, 2, 3, 4 };
    std::vector <double> f (4);
    fft.forward (f.data (), x.data ());
    EXPECT_EQ (f, std::vector <double> ({ 10, -2, -2, -2 }));
}

// Every level of the cosine table is cos (i pi / 2^L) to within an ulp or
// two (the angle is rounded once before the cosine).
TEST (Double, CosineTable)
{
    const FFTReal <double> fft (1 << 16);
    const Probe probe (fft);
    double worst = 0;
    for (int level = 3; level < 16; ++ level)
    {
        const int len = 1 << (level - 1);
        for (int i = 0; i < len; ++ i)
        {
            const qtest::Real exact = std::cos (i * qtest::PI_L / (2 * len));
            const double got = probe.cos_entry (Probe::cos_level_index (level) + i);
            worst = std::max (worst, double (std::fabs (got - exact)));
        }
    }
    EXPECT_LT (worst, 4.5e-16);
}

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
