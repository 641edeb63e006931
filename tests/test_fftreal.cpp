// Transform results: worked examples, tables, accuracy up to 8192 points.

#include "quarn/FFTReal.h"
#include "probe.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

using quarn::FFTReal;
using Probe = quarn::FFTRealProbe <float>;

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

    // The demo's signal: bin 0 exactly 8, everything else exactly 0.
    const std::vector <float> f = forward_of (std::vector <float> (16, 0.5f));
    EXPECT_EQ (f [0], 8.0f);
    for (int k = 1; k < 16; ++ k)
    {
        EXPECT_EQ (f [k], 0.0f) << "element " << k;
    }
}

// Single cosines and sines land in the element and with the sign that the
// packed layout promises, at every size and path (direct, N = 8, table).
TEST (Forward, PackedLayoutAndSign)
{
    for (int n : { 4, 8, 16, 64, 1024 })
    {
        for (int k = 1; k < n / 2; ++ k)
        {
            std::vector <float> xc (n);
            std::vector <float> xs (n);
            for (int m = 0; m < n; ++ m)
            {
                const double a = 2 * qtest::PI_L * k * m / n;
                xc [m] = float (std::cos (a));
                xs [m] = float (std::sin (a));
            }
            const std::vector <float> fc = forward_of (xc);
            const std::vector <float> fs = forward_of (xs);
            // cos: Re X[k] = n/2.  sin: sum sin^2 = n/2 in element n/2 + k.
            EXPECT_NEAR (fc [k], n / 2.0, 1e-4 * n) << "n " << n << " k " << k;
            EXPECT_NEAR (fc [n / 2 + k], 0.0, 1e-4 * n);
            EXPECT_NEAR (fs [n / 2 + k], n / 2.0, 1e-4 * n) << "n " << n << " k " << k;
            EXPECT_NEAR (fs [k], 0.0, 1e-4 * n);
        }
    }
}

TEST (Tables, BitReversal)
{
    const FFTReal <float> f1 (1);
    EXPECT_EQ (Probe (f1).bitrev (0), 0);

    const FFTReal <float> f8 (8);
    const int expect8 [] = { 0, 4, 2, 6, 1, 5, 3, 7 };
    for (int c = 0; c < 8; ++ c)
    {
        EXPECT_EQ (Probe (f8).bitrev (c), expect8 [c]) << "entry " << c;
    }

    const FFTReal <float> f16 (16);
    const int expect16 [] = { 0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15 };
    for (int c = 0; c < 16; ++ c)
    {
        EXPECT_EQ (Probe (f16).bitrev (c), expect16 [c]) << "entry " << c;
    }

    // A longer one against bit-by-bit reversal.
    const FFTReal <float> f4096 (4096);
    for (int c = 0; c < 4096; ++ c)
    {
        int r = 0;
        for (int b = 0; b < 12; ++ b)
        {
            r |= ((c >> b) & 1) << (11 - b);
        }
        ASSERT_EQ (Probe (f4096).bitrev (c), r) << "entry " << c;
    }
}

TEST (Tables, CosineLevels)
{
    EXPECT_EQ (Probe::cos_level_index (3), 0);
    EXPECT_EQ (Probe::cos_level_index (4), 4);
    EXPECT_EQ (Probe::cos_level_index (5), 12);
    EXPECT_EQ (Probe::cos_level_index (6), 28);

    // Level 3 as float, bit for bit.
    const FFTReal <float> f16 (16);
    const float level3 [] = { 1.0f, 0.9238795f, 0.70710677f, 0.38268343f };
    for (int i = 0; i < 4; ++ i)
    {
        EXPECT_EQ (Probe (f16).cos_entry (i), level3 [i]) << "entry " << i;
    }

    // Every level of a 2^10 table holds cos (i pi / 2^L), rounded once.
    const FFTReal <float> f1024 (1024);
    const Probe probe (f1024);
    for (int level = 3; level < 10; ++ level)
    {
        const int len = 1 << (level - 1);
        for (int i = 0; i < len; ++ i)
        {
            const float expect = float (std::cos (i * qtest::PI_L / (2 * len)));
            ASSERT_EQ (probe.cos_entry (Probe::cos_level_index (level) + i), expect)
                << "level " << level << " entry " << i;
        }
    }
}

// Every length from 1 to 8192 against long-double sums of the packed
// spectrum's definition.
TEST (Forward, AccuracyAgainstDirectSums)
{
    qtest::Error worst;
    for (int bits = 0; bits <= 13; ++ bits)
    {
        const int n = 1 << bits;
        for (unsigned seed : { 1u, 2u })
        {
            const std::vector <float> x = qtest::random_signal (n, seed + 100 * bits);
            const std::vector <float> f = forward_of (x);
            const qtest::Error e = qtest::compare (f.data (), qtest::packed_dft_direct (x.data (), n));
            EXPECT_LT (e.rel_rms, 5e-7) << "n " << n;
            EXPECT_LT (e.max_rel, 1e-6) << "n " << n;
            if (seed == 1)
            {
                std::printf ("N = 2^%d: rel RMS %.3g, max rel %.3g\n", bits, e.rel_rms, e.max_rel);
            }
            worst.rel_rms = std::max (worst.rel_rms, e.rel_rms);
            worst.max_rel = std::max (worst.max_rel, e.max_rel);
        }
    }
    std::printf ("worst over N = 1 .. 8192: rel RMS %.3g, max rel %.3g\n",
                 worst.rel_rms, worst.max_rel);
}

TEST (Forward, RepeatableAndLeavesInputAlone)
{
    for (int n : { 1, 2, 4, 8, 16, 4096, 1 << 15 })
    {
        const FFTReal <float> fft (n);
        const std::vector <float> x = qtest::random_signal (n, 7);
        const std::vector <float> x_copy = x;
        std::vector <float> f1 (n);
        std::vector <float> f2 (n);
        fft.forward (f1.data (), x.data ());

        // Scribble over the scratch buffer between calls: the next result
        // must not depend on it.
        std::memset (Probe (fft).use_buffer (), 0x7f, n * sizeof (float));
        fft.forward (f2.data (), x.data ());

        EXPECT_EQ (std::memcmp (f1.data (), f2.data (), n * sizeof (float)), 0) << "n " << n;
        EXPECT_EQ (x, x_copy) << "n " << n;
    }
}

}  // namespace
