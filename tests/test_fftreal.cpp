// forward: worked examples and accuracy against long-double references, for
// float and double; the tables and phasors it runs on.

#include "quarn/FFTReal.h"
#include "instances.h"
#include "probe.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace
{

using quarn::FFTReal;
using quarn::PhaseRotor;
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

TEST (Tables, BitReversal)
{
    const FFTReal <float> f1 (1);
    const FFTReal <float> f8 (8);
    const FFTReal <float> f16 (16);
    const int expect8 [] = { 0, 4, 2, 6, 1, 5, 3, 7 };
    const int expect16 [] = { 0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15 };
    EXPECT_EQ (Probe (f1).bitrev (0), 0);
    for (int c = 0; c < 16; ++ c)
    {
        EXPECT_EQ (Probe (f16).bitrev (c), expect16 [c]) << "entry " << c;
        if (c < 8)
        {
            EXPECT_EQ (Probe (f8).bitrev (c), expect8 [c]) << "entry " << c;
        }
    }
}

// Level L (3 .. log2 N - 1) starts at 2^(L-1) - 4 and holds cos (i pi / 2^L),
// i < 2^(L-1), each rounded once: a recurrence would drift.
TEST (Tables, CosineLevels)
{
    EXPECT_EQ (Probe::cos_level_index (3), 0);
    EXPECT_EQ (Probe::cos_level_index (4), 4);
    EXPECT_EQ (Probe::cos_level_index (6), 28);
    const FFTReal <float> fft (1024);
    for (int level = 3; level < 10; ++ level)
    {
        for (int i = 0; i < (1 << (level - 1)); ++ i)
        {
            ASSERT_EQ (Probe (fft).cos_entry (Probe::cos_level_index (level) + i),
                       float (std::cos (i * qtest::PI_L / (1 << level)))) << "level " << level << " entry " << i;
        }
    }
}

// The default stays at angle 0; set_increment leaves the angle, reset
// leaves the increment.
TEST (PhaseRotor, DefaultsIncrementAndReset)
{
    PhaseRotor r;
    r.advance ();
    EXPECT_EQ (r.cur_cos (), 1.0);
    EXPECT_EQ (r.cur_sin (), 0.0);
    r.set_increment (0.3);
    EXPECT_EQ (r.cur_cos (), 1.0);
    r.advance ();
    r.advance ();
    r.reset ();
    r.advance ();
    const double c = std::cos (0.3);
    const double s = std::sin (0.3);
    EXPECT_EQ (r.cur_cos (), c);
    EXPECT_EQ (r.cur_sin (), s);
    r.advance ();
    EXPECT_DOUBLE_EQ (r.cur_cos (), c * c - s * s);
    EXPECT_DOUBLE_EQ (r.cur_sin (), 2 * c * s);
}

// Element k turns by pi / 2^(13 + k): the first twiddle step of pass 13 + k.
TEST (OscillatorBank, IncrementsPerElement)
{
    const FFTReal <float> fft (1 << 16);
    for (int k = 0; k < 4; ++ k)
    {
        PhaseRotor &osc = Probe (fft).osc (k);
        osc.reset ();
        osc.advance ();
        const double inc = qtest::PI_L / std::ldexp (1.0L, Probe::TRIGO_BD_LIMIT + 1 + k);
        EXPECT_EQ (osc.cur_cos (), std::cos (inc)) << "element " << k;
        EXPECT_EQ (osc.cur_sin (), std::sin (inc)) << "element " << k;
    }
}

// 2^13 has one bank element that no pass uses; 2^14 uses it for pass 13.
// Spoiling its increment shows which transforms read it (the bank belongs
// to the scalar passes; the vector paths keep their own phasors).
TEST (OscillatorBank, OnlyPassesAboveTheTableUseIt)
{
    for (int bits : { 13, 14 })
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n, quarn::FFTRealIsa::SCALAR);
        const std::vector <float> x = qtest::random_signal (n, 3);
        std::vector <float> f (n);
        Probe (fft).osc (0).set_increment (1.0);
        fft.forward (f.data (), x.data ());
        const double err = qtest::compare (f.data (), qtest::packed_dft_fast (x.data (), n)).max_rel;
        EXPECT_TRUE (bits == 13 ? err < 1e-6 : err > 1e-2) << "n " << n << ": " << err;
    }
}

}  // namespace
