// The complex view: packed spectra as N/2 + 1 std::complex bins and back,
// exact, against the long-double complex DFT, for float and double.

#include "quarn/FFTRealComplex.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <vector>

namespace
{

using quarn::FFTReal;
using quarn::FFTReal_complex_to_packed;
using quarn::FFTReal_packed_to_complex;

template <class T>
class ComplexView : public ::testing::Test {};
using SampleTypes = ::testing::Types <float, double>;
TYPED_TEST_SUITE (ComplexView, SampleTypes);

template <class T>
bool same_bits (const T *a, const T *b, int n)
{
    return std::memcmp (a, b, n * sizeof (T)) == 0;
}

TYPED_TEST (ComplexView, SmallLengths)
{
    using T = TypeParam;
    using C = std::complex <T>;

    // N = 1: one bin; N = 2: two real bins; N = 4: bin 1 has the negated
    // imaginary element.
    C z [4];
    const T f1 [] = { 3.5 };
    FFTReal_packed_to_complex (z, f1, 1);
    EXPECT_EQ (z [0], C (3.5, 0));

    const T f2 [] = { 3, -1 };
    FFTReal_packed_to_complex (z, f2, 2);
    EXPECT_EQ (z [0], C (3, 0));
    EXPECT_EQ (z [1], C (-1, 0));

    const T f4 [] = { 10, -2, -2, 5 };
    FFTReal_packed_to_complex (z, f4, 4);
    EXPECT_EQ (z [0], C (10, 0));
    EXPECT_EQ (z [1], C (-2, -5));
    EXPECT_EQ (z [2], C (-2, 0));

    T back [4];
    FFTReal_complex_to_packed (back, z, 4);
    EXPECT_TRUE (same_bits (back, f4, 4));
    FFTReal_complex_to_packed (back, z, 1);
    EXPECT_EQ (back [0], T (10));
}

// Forward's output as bins matches the usual DFT X[k] = sum x e^(-2 pi i km/N):
// the sign convention, at direct, table and phasor lengths.
TYPED_TEST (ComplexView, MatchesTheComplexDft)
{
    using T = TypeParam;
    const double bound = sizeof (T) == 4 ? 1e-6 : 2e-15;
    for (int bits : { 1, 2, 3, 4, 10, 14 })
    {
        const int n = 1 << bits;
        const FFTReal <T> fft (n);
        const std::vector <T> x = qtest::random_signal <T> (n, 60 + bits);
        std::vector <T> f (n);
        fft.forward (f.data (), x.data ());
        std::vector <std::complex <T>> z (n / 2 + 1);
        FFTReal_packed_to_complex (z.data (), f.data (), n);

        const std::vector <std::complex <qtest::Real>> ref = qtest::complex_dft_fast (x.data (), n);
        qtest::Real max_err = 0;
        qtest::Real max_ref = 0;
        for (int k = 0; k <= n / 2; ++ k)
        {
            const std::complex <qtest::Real> got (z [k].real (), z [k].imag ());
            max_err = std::max (max_err, std::abs (got - ref [k]));
            max_ref = std::max (max_ref, std::abs (ref [k]));
        }
        EXPECT_LT (double (max_err / max_ref), bound) << "n " << n;
        EXPECT_EQ (z [0].imag (), T (0));
        EXPECT_EQ (z [n / 2].imag (), T (0));
    }
}

// Packed to bins and back is the identity, bit for bit (signed zeros and
// all), and each conversion writes its N/2 + 1 bins or N reals, no more.
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
            f [n / 2 + 1] = T (-0.0);
            f [1] = T (-0.0);
        }

        const C guard (T (123), T (456));
        std::vector <C> z (bins + 1, guard);
        FFTReal_packed_to_complex (z.data (), f.data (), n);
        EXPECT_EQ (z [bins], guard) << "n " << n;

        std::vector <T> back (n + 1, T (789));
        FFTReal_complex_to_packed (back.data (), z.data (), n);
        EXPECT_TRUE (same_bits (back.data (), f.data (), n)) << "n " << n;
        EXPECT_EQ (back [n], T (789)) << "n " << n;

        // And bins to packed to bins, for bins whose ends are real.
        std::vector <C> z2 (bins);
        FFTReal_packed_to_complex (z2.data (), back.data (), n);
        EXPECT_TRUE (same_bits (reinterpret_cast <const T *> (z2.data ()),
                                reinterpret_cast <const T *> (z.data ()), 2 * bins)) << "n " << n;
    }
}

// The imaginary parts of bins 0 and N/2 have no place in the packed layout:
// they are ignored, so the inverse is that of the spectrum without them.
TYPED_TEST (ComplexView, ImaginaryPartsOfTheRealBinsAreIgnored)
{
    using T = TypeParam;
    using C = std::complex <T>;
    for (int n : { 1, 2, 16 })
    {
        const int bins = n / 2 + 1;
        std::vector <C> z (bins);
        for (int k = 0; k < bins; ++ k)
        {
            z [k] = C (T (k + 1), T (0.5) * T (k + 1));
        }
        std::vector <C> z_real = z;
        z_real [0].imag (0);
        z_real [bins - 1].imag (0);

        std::vector <T> f (n);
        std::vector <T> f_real (n);
        FFTReal_complex_to_packed (f.data (), z.data (), n);
        FFTReal_complex_to_packed (f_real.data (), z_real.data (), n);
        EXPECT_TRUE (same_bits (f.data (), f_real.data (), n)) << "n " << n;
    }
}

}  // namespace
