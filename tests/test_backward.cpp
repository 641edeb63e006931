// backward and rescale, and the complex view, for float and double: worked
// examples, long-double references, round trips and exact conversions.

#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <complex>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

using quarn::FFTReal;

// Bounds: two to three times the worst figures measured over these lengths.
template <class T>
constexpr double bound (double for_float, double for_double)
{
    return sizeof (T) == sizeof (float) ? for_float : for_double;
}

template <class T>
constexpr const char *NAME = sizeof (T) == sizeof (float) ? "float" : "double";

template <class T>
class Backward : public ::testing::Test {};
using SampleTypes = ::testing::Types <float, double>;
TYPED_TEST_SUITE (Backward, SampleTypes);

// Any N reals are a packed spectrum: random ones against the long-double
// inverse, which also pins the layout and the sign of the sine elements.
TYPED_TEST (Backward, AccuracyAgainstLongDoubleInverse)
{
    using T = TypeParam;
    qtest::Error worst;
    for (int bits = 0; bits <= 18; ++ bits)
    {
        const int n = 1 << bits;
        const std::vector <T> f = qtest::random_signal <T> (n, 300 + bits);
        std::vector <T> x (n);
        FFTReal <T> (n).backward (x.data (), f.data ());
        const qtest::Error e = qtest::compare (x.data (), qtest::packed_idft_fast (f.data (), n));
        EXPECT_LT (e.rel_rms, bound <T> (5e-7, 1e-15)) << "n " << n;
        EXPECT_LT (e.max_rel, bound <T> (1e-6, 2e-15)) << "n " << n;
        qtest::keep_worst (worst, e);
    }
    std::printf ("backward (%s), worst over N = 1 .. 2^18: rel RMS %.3g, max rel %.3g\n",
                 NAME <T>, worst.rel_rms, worst.max_rel);
}

// rescale (backward (forward (x))) against x at every length to 2^16, then
// 2^18 and 2^20.
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
        const double e = qtest::compare (y.data (), x).rel_rms;
        EXPECT_LT (e, bound <T> (5e-7, 1.5e-15)) << "n " << n;
        worst = std::max (worst, e);
    }
    std::printf ("round trip (%s), worst rel RMS over N = 1 .. 2^20: %.3g\n", NAME <T>, worst);
}

// rescale divides exactly by N and stays within its N samples.
TYPED_TEST (Backward, RescaleIsAnExactDivision)
{
    using T = TypeParam;
    for (int n : { 1, 2, 8, 1 << 16 })
    {
        std::vector <T> x = qtest::random_signal <T> (n + 1, 12);
        std::vector <T> expect = x;
        for (int m = 0; m < n; ++ m)
        {
            expect [m] /= T (n);
        }
        FFTReal <T> (n).rescale (x.data ());
        EXPECT_EQ (x, expect) << "n " << n;
    }
}

template <class T>
class ComplexView : public ::testing::Test {};
TYPED_TEST_SUITE (ComplexView, SampleTypes);

// forward's output as bins is the usual DFT X[k] = sum x e^(-2 pi i k m / N),
// with real ends.
TYPED_TEST (ComplexView, MatchesTheComplexDft)
{
    using T = TypeParam;
    for (int bits : { 0, 1, 2, 3, 4, 10, 14 })
    {
        const int n = 1 << bits;
        const FFTReal <T> fft (n);
        const std::vector <T> x = qtest::random_signal <T> (n, 60 + bits);
        std::vector <T> f (n);
        std::vector <std::complex <T>> z (n / 2 + 1);
        fft.forward (f.data (), x.data ());
        quarn::FFTReal_packed_to_complex (z.data (), f.data (), n);

        std::vector <qtest::Cplx> ref (x.begin (), x.end ());
        qtest::complex_dft_in_place (ref);
        qtest::Real max_err = 0;
        qtest::Real max_ref = 0;
        for (int k = 0; k <= n / 2; ++ k)
        {
            max_err = std::max (max_err, std::abs (qtest::Cplx (z [k].real (), z [k].imag ()) - ref [k]));
            max_ref = std::max (max_ref, std::abs (ref [k]));
        }
        EXPECT_LT (double (max_err / max_ref), bound <T> (1e-6, 2e-15)) << "n " << n;
        EXPECT_EQ (z [0].imag (), T (0));
        EXPECT_EQ (z [n / 2].imag (), T (0));
    }
}

// Packed to bins and back is the identity, bit for bit (signed zeros too);
// each conversion writes its N/2 + 1 bins or N reals, no more; the imaginary
// parts of bins 0 and N/2 have no place in the packed layout and are ignored.
TYPED_TEST (ComplexView, ExactRoundTrips)
{
    using T = TypeParam;
    using C = std::complex <T>;
    for (int bits = 0; bits <= 12; ++ bits)
    {
        const int n = 1 << bits;
        const int bins = n / 2 + 1;
        std::vector <T> f = qtest::random_signal <T> (n, 70 + bits);
        if (n >= 4)
        {
            f [1] = T (-0.0);
            f [n / 2 + 1] = T (-0.0);
        }
        std::vector <C> z (bins + 1, C (123, 456));
        quarn::FFTReal_packed_to_complex (z.data (), f.data (), n);
        EXPECT_EQ (z [bins], C (123, 456)) << "n " << n;

        z [0].imag (7);
        z [bins - 1].imag (9);
        std::vector <T> back (n + 1, T (789));
        quarn::FFTReal_complex_to_packed (back.data (), z.data (), n);
        EXPECT_EQ (std::memcmp (back.data (), f.data (), n * sizeof (T)), 0) << "n " << n;
        EXPECT_EQ (back [n], T (789)) << "n " << n;
    }
}

}  // namespace
