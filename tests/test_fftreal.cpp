// forward: worked examples and accuracy against long-double references, for
// float and double; the tables and phasors it runs on.

#include "quarn/FFTReal.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace
{

using quarn::FFTReal;

std::vector <float> forward_of (const std::vector <float> &x)
{
    const FFTReal <float> fft (static_cast <int> (x.size ()));
    std::vector <float> f (x.size ());
    fft.forward (f.data (), x.data ());
    return f;
}

TEST (Forward, WorkedExamples)
{
    EXPECT_EQ (forward_of ({ 3.5f }), std::vector <float> ({ 3.5f }));
    EXPECT_EQ (forward_of ({ 1, 2 }), std::vector <float> ({ 3, -1 }));
    EXPECT_EQ (forward_of ({ 1, 2, 3, 4 }), std::vector <float> ({ 10, -2, -2, -2 }));
    std::vector <float> demo (16, 0.0f);   // the demo's: exactly 8, then zeros
    demo [0] = 8;
    EXPECT_EQ (forward_of (std::vector <float> (16, 0.5f)), demo);
}

// Every length against long-double direct sums of the packed spectrum's
// definition up to 2^direct_bits, against the long-double FFT above; prints
// the figures of README's accuracy tables.
template <class T>
void forward_accuracy (int direct_bits, int max_bits, int signals, double rms_bound, double max_bound)
{
    for (int bits = 0; bits <= max_bits; ++ bits)
    {
        const int n = 1 << bits;
        const FFTReal <T> fft (n);
        qtest::Error worst;
        for (int s = 1; s <= signals; ++ s)
        {
            const std::vector <T> x = qtest::random_signal <T> (n, s + 100 * bits);
            std::vector <T> f (n);
            fft.forward (f.data (), x.data ());
            const qtest::Error e = qtest::compare (f.data (), bits <= direct_bits
                ? qtest::packed_dft_direct (x.data (), n) : qtest::packed_dft_fast (x.data (), n));
            EXPECT_LT (e.rel_rms, rms_bound) << "n " << n;
            EXPECT_LT (e.max_rel, max_bound) << "n " << n;
            qtest::keep_worst (worst, e);
        }
        std::printf ("%sN = 2^%d: rel RMS %.3g, max rel %.3g\n", sizeof (T) == 4 ? "" : "double ",
                     bits, worst.rel_rms, worst.max_rel);
    }
}

// Above 2^13 the passes take their twiddles from double phasors: float
// accuracy all the same.
TEST (Forward, Accuracy)
{
    forward_accuracy <float> (13, 18, 1, 5e-7, 1e-6);
}

// Double reads the cosine table at every pass; a double phasor from 2^14
// would give about 1e-13.
TEST (Double, ForwardAccuracy)
{
    forward_accuracy <double> (12, 16, 2, 1e-15, 2e-15);
}

}  // namespace
