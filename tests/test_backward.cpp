// backward and rescale, for float and double: worked examples, long-double
// inverse sums, round trips at every length, and what they leave alone.

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

// Error bounds relative to the output's scale, per sample type: two to three
// times the worst figures measured over these lengths and seeds.
template <class T> struct Bound;
template <> struct Bound <float>
{
    static constexpr double REL_RMS = 5e-7;
    static constexpr double MAX_REL = 1e-6;
    static constexpr double ROUND_TRIP = 5e-7;
};
template <> struct Bound <double>
{
    static constexpr double REL_RMS = 1e-15;
    static constexpr double MAX_REL = 2e-15;
    static constexpr double ROUND_TRIP = 1.5e-15;
};

template <class T>
std::vector <T> backward_of (const std::vector <T> &f)
{
    const FFTReal <T> fft (static_cast <int> (f.size ()));
    std::vector <T> x (f.size ());
    fft.backward (x.data (), f.data ());
    return x;
}

template <class T>
class Backward : public ::testing::Test {};
using SampleTypes = ::testing::Types <float, double>;
TYPED_TEST_SUITE (Backward, SampleTypes);

// The direct formulas of N = 1, 2 and 4, exactly: N times the signals of
// the forward examples.
TYPED_TEST (Backward, WorkedExamples)
{
    using T = TypeParam;
    EXPECT_EQ (backward_of <T> ({ 3.5 }), std::vector <T> ({ 3.5 }));
    EXPECT_EQ (backward_of <T> ({ 3, -1 }), std::vector <T> ({ 2, 4 }));
    EXPECT_EQ (backward_of <T> ({ 10, -2, -2, -2 }), std::vector <T> ({ 4, 8, 12, 16 }));

    // Bin 0 alone: a constant.
    std::vector <T> f (16, T (0));
    f [0] = 8;
    EXPECT_EQ (backward_of (f), std::vector <T> (16, T (8)));
}

// Against the long-double inverse of arbitrary packed spectra (any N reals
// are one), which also pins the layout and the sign of the sine elements:
// direct sums up to 2^10, the long-double FFT above.
TYPED_TEST (Backward, AccuracyAgainstLongDoubleInverse)
{
    using T = TypeParam;
    qtest::Error worst;
    for (int bits = 0; bits <= 18; ++ bits)
    {
        const int n = 1 << bits;
        const std::vector <T> f = qtest::random_signal <T> (n, 300 + bits);
        const std::vector <T> x = backward_of (f);
        const std::vector <qtest::Real> ref = bits <= 10
            ? qtest::packed_idft_direct (f.data (), n)
            : qtest::packed_idft_fast (f.data (), n);
        const qtest::Error e = qtest::compare (x.data (), ref);
        EXPECT_LT (e.rel_rms, Bound <T>::REL_RMS) << "n " << n;
        EXPECT_LT (e.max_rel, Bound <T>::MAX_REL) << "n " << n;
        worst.rel_rms = std::max (worst.rel_rms, e.rel_rms);
        worst.max_rel = std::max (worst.max_rel, e.max_rel);
    }
    std::printf ("backward (%s), worst over N = 1 .. 2^18: rel RMS %.3g, max rel %.3g\n",
                 sizeof (T) == 4 ? "float" : "double", worst.rel_rms, worst.max_rel);
}

// rescale (backward (forward (x))) against x at every length to 2^16, then a
// few longer ones, table and phasor passes alike.
TYPED_TEST (Backward, RoundTrip)
{
    using T = TypeParam;
    double worst = 0;
    for (int bits = 0; bits <= 20; bits += (bits < 16 ? 1 : 2))
    {
        const int n = 1 << bits;
        const FFTReal <T> fft (n);
        const std::vector <T> x = qtest::random_signal <T> (n, 40 + bits);
        std::vector <T> f (n);
        std::vector <T> y (n);
        fft.forward (f.data (), x.data ());
        fft.backward (y.data (), f.data ());
        fft.rescale (y.data ());
        const std::vector <qtest::Real> ref (x.begin (), x.end ());
        const qtest::Error e = qtest::compare (y.data (), ref);
        EXPECT_LT (e.rel_rms, Bound <T>::ROUND_TRIP) << "n " << n;
        worst = std::max (worst, e.rel_rms);
    }
    std::printf ("round trip (%s), worst rel RMS over N = 1 .. 2^20: %.3g\n",
                 sizeof (T) == 4 ? "float" : "double", worst);
}

// f is only read, and neither the scratch buffer's contents nor an earlier
// call changes the result.
TYPED_TEST (Backward, RepeatableAndLeavesInputAlone)
{
    using T = TypeParam;
    for (int n : { 1, 2, 4, 8, 16, 4096, 1 << 15 })
    {
        const FFTReal <T> fft (n);
        const std::vector <T> f = qtest::random_signal <T> (n, 8);
        const std::vector <T> f_copy = f;
        std::vector <T> x1 (n);
        std::vector <T> x2 (n);
        fft.backward (x1.data (), f.data ());
        std::memset (quarn::FFTRealProbe <T> (fft).use_buffer (), 0x7f, n * sizeof (T));
        fft.backward (x2.data (), f.data ());

        EXPECT_EQ (std::memcmp (x1.data (), x2.data (), n * sizeof (T)), 0) << "n " << n;
        EXPECT_EQ (f, f_copy) << "n " << n;
    }
}

// rescale divides exactly by N and stays within its N samples.
TYPED_TEST (Backward, RescaleIsAnExactDivision)
{
    using T = TypeParam;
    for (int n : { 1, 2, 8, 1 << 16 })
    {
        const FFTReal <T> fft (n);
        std::vector <T> x = qtest::random_signal <T> (n + 1, 12);
        x [0] = T (3 * n);   // exactly 3 after rescaling
        const T guard = x [n];
        std::vector <T> expect (x.begin (), x.begin () + n);
        for (T &v : expect)
        {
            v = v / T (n);
        }

        fft.rescale (x.data ());

        EXPECT_EQ (x [0], T (3)) << "n " << n;
        EXPECT_EQ (std::vector <T> (x.begin (), x.begin () + n), expect) << "n " << n;
        EXPECT_EQ (x [n], guard) << "n " << n;
    }
}

}  // namespace
