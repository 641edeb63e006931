// Phasor passes: PhaseRotor, the oscillator bank, and transforms of 2^14 to
// 2^18 points against a long-double FFT.

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
using quarn::PhaseRotor;
using Probe = quarn::FFTRealProbe <float>;

TEST (PhaseRotor, DefaultStaysAtOne)
{
    PhaseRotor r;
    EXPECT_EQ (r.cur_cos (), 1.0);
    EXPECT_EQ (r.cur_sin (), 0.0);
    for (int i = 0; i < 1000; ++ i)
    {
        r.advance ();
    }
    EXPECT_EQ (r.cur_cos (), 1.0);
    EXPECT_EQ (r.cur_sin (), 0.0);
}

TEST (PhaseRotor, AdvanceAfterResetRotatesByTheIncrement)
{
    const double theta = 0.3;
    PhaseRotor r;
    r.advance ();
    r.set_increment (theta);
    EXPECT_EQ (r.cur_cos (), 1.0);   // set_increment leaves the angle alone
    r.advance ();
    r.advance ();
    r.reset ();

    r.advance ();
    const double c = std::cos (theta);
    const double s = std::sin (theta);
    EXPECT_EQ (r.cur_cos (), c);
    EXPECT_EQ (r.cur_sin (), s);

    r.advance ();
    EXPECT_DOUBLE_EQ (r.cur_cos (), c * c - s * s);
    EXPECT_DOUBLE_EQ (r.cur_sin (), c * s + s * c);
}

// Over the longest run a pass makes (2^28 steps at 2^30 points the phasor
// would need; 2^22 here), the double recurrence stays far inside float
// resolution.
TEST (PhaseRotor, DriftOverALongBlockIsNegligible)
{
    const int steps = 1 << 22;
    const double theta = qtest::PI_L / (2.0 * steps);
    PhaseRotor r;
    r.set_increment (theta);
    double worst = 0;
    for (int i = 1; i <= steps; ++ i)
    {
        r.advance ();
        if ((i & 4095) == 0)
        {
            const long double a = (long double) i * qtest::PI_L / (2.0L * steps);
            worst = std::max (worst, double (std::hypot (r.cur_cos () - std::cos (a),
                                                         r.cur_sin () - std::sin (a))));
        }
    }
    std::printf ("phasor drift over 2^22 steps: %.3g\n", worst);
    EXPECT_LT (worst, 1e-9);
}

TEST (OscillatorBank, IncrementsPerElement)
{
    const FFTReal <float> fft (1 << 16);
    Probe probe (fft);
    for (int k = 0; k < 4; ++ k)
    {
        PhaseRotor &osc = probe.osc (k);
        osc.reset ();
        osc.advance ();
        const double inc = qtest::PI_L / std::ldexp (1.0L, Probe::TRIGO_BD_LIMIT + 1 + k);
        EXPECT_EQ (osc.cur_cos (), std::cos (inc)) << "element " << k;
        EXPECT_EQ (osc.cur_sin (), std::sin (inc)) << "element " << k;
    }
}

// 2^13 has one bank element that no pass uses; 2^14 uses it for pass 13.
// Spoiling the element's increment shows which transforms read it. (The bank
// belongs to the scalar passes; the vector paths keep their own phasors.)
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
        const qtest::Error e = qtest::compare (f.data (), qtest::packed_dft_fast (x.data (), n));
        if (bits == 13)
        {
            EXPECT_LT (e.max_rel, 1e-6);
        }
        else
        {
            EXPECT_GT (e.max_rel, 1e-2);
        }
    }
}

// The reference FFT itself, against direct sums where those are affordable.
TEST (Reference, FastMatchesDirect)
{
    for (int n : { 1, 2, 8, 64, 1024 })
    {
        const std::vector <float> x = qtest::random_signal (n, 11);
        const std::vector <qtest::Real> a = qtest::packed_dft_direct (x.data (), n);
        const std::vector <qtest::Real> b = qtest::packed_dft_fast (x.data (), n);
        EXPECT_LT (qtest::compare (b.data (), a).max_rel, 1e-15) << "n " << n;
    }
}

// With a double phasor the long transforms keep float accuracy: the bounds
// are those of the table passes.
TEST (Forward, AccuracyOfPhasorPasses)
{
    for (int bits = 14; bits <= 18; ++ bits)
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n);
        const std::vector <float> x = qtest::random_signal (n, 5 + bits);
        std::vector <float> f (n);
        fft.forward (f.data (), x.data ());
        const qtest::Error e = qtest::compare (f.data (), qtest::packed_dft_fast (x.data (), n));
        std::printf ("N = 2^%d: rel RMS %.3g, max rel %.3g\n", bits, e.rel_rms, e.max_rel);
        EXPECT_LT (e.rel_rms, 5e-7) << "n " << n;
        EXPECT_LT (e.max_rel, 1e-6) << "n " << n;
    }
}

}  // namespace
