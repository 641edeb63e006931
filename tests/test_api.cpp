// SPDX-License-Identifier: MIT
// The interface by examples that tell right from wrong: transforms and
// rescale worked by hand, the complex view, moves, the free functions,
// lengths of other integer types. Odd data (docs/odd-data.md): NaN, infinities,
// subnormals, magnitudes near FLT_MAX, which may not crash, poison the object
// for later calls, or give a wrong finite number.

#include "common.h"

#include <cfloat>
#include <climits>
#include <type_traits>

namespace
{

using namespace qtest;

template <class T>
void expect_worked_examples ()
{
    using V = std::vector <T>;
    const auto fwd = [] (const V &x) { return transform (FFTReal <T> (int (x.size ())), true, x); };
    const auto bwd = [] (const V &f) { return transform (FFTReal <T> (int (f.size ())), false, f); };
    EXPECT_EQ (fwd ({ 3.5 }), V ({ 3.5 }));
    EXPECT_EQ (fwd ({ 1, 2 }), V ({ 3, -1 }));
    // X[1] = -2 + 2i, so the sine element holds -Im X[1] = -2.
    EXPECT_EQ (fwd ({ 1, 2, 3, 4 }), V ({ 10, -2, -2, -2 }));
    EXPECT_EQ (bwd ({ 10, -2, -2, -2 }), V ({ 4, 8, 12, 16 }));
    EXPECT_EQ (bwd ({ 3, -1 }), V ({ 2, 4 }));
    // A cosine of two cycles in 8 samples: all of it in bin 2, real.
    EXPECT_EQ (fwd ({ 1, 0, -1, 0, 1, 0, -1, 0 }), V ({ 0, 0, 4, 0, 0, 0, 0, 0 }));

    // The same spectrum as bins: (10, 0), (-2, 2), (-2, 0).
    std::vector <std::complex <T>> z (4, { 7, 7 });
    quarn::FFTReal_packed_to_complex (z.data (), V ({ 10, -2, -2, -2 }).data (), 4);
    EXPECT_EQ (z, (std::vector <std::complex <T>> { { 10, 0 }, { -2, 2 }, { -2, 0 }, { 7, 7 } }));

    // rescale completes the round trip, exactly here, and touches nothing past
    // its N samples.
    V y = bwd ({ 10, -2, -2, -2 });
    y.push_back (5);
    FFTReal <T> (4).rescale (y.data ());
    EXPECT_EQ (y, V ({ 1, 2, 3, 4, 5 }));
}

TEST (Examples, WorkedByHand)
{
    expect_worked_examples <float> ();
    expect_worked_examples <double> ();
}

// Packed to bins and back is the identity bit for bit, signed zeros too;
// each conversion writes its N/2 + 1 bins or N reals and no more; the
// imaginary parts of bins 0 and N/2 have no place in the packed layout.
TEST (ComplexView, ExactRoundTrips)
{
    using C = std::complex <double>;
    for (int bits = 0; bits <= 10; ++ bits)
    {
        const int n = 1 << bits;
        const int bins = n / 2 + 1;
        std::vector <double> f = random_signal <double> (n, unsigned (70 + bits));
        f [n - 1] = -0.0;
        std::vector <C> z (std::size_t (bins + 1), C (123, 456));
        quarn::FFTReal_packed_to_complex (z.data (), f.data (), n);
        EXPECT_EQ (z [bins], C (123, 456)) << n;
        EXPECT_TRUE (z [0].imag () == 0 && ! std::signbit (z [0].imag ())) << n;
        z [0].imag (7);
        z [bins - 1].imag (9);
        std::vector <double> back (std::size_t (n + 1), 789);
        quarn::FFTReal_complex_to_packed (back.data (), z.data (), n);
        EXPECT_EQ (std::memcmp (back.data (), f.data (), std::size_t (n) * sizeof (double)), 0) << n;
        EXPECT_EQ (back [n], 789) << n;
    }
}

// Objects move (never copy) and keep working wherever they go: in a vector
// that grows, assigned over an object of another length, and a moved-from
// object takes a new one.
template <class T>
void expect_same_as_new (const FFTReal <T> &fft, int n, FFTRealIsa isa = FFTRealIsa::AUTO)
{
    const FFTReal <T> fresh (n, isa);
    const std::vector <T> x = random_signal <T> (n, 3);
    EXPECT_TRUE (fft.length () == n && fft.isa () == fresh.isa () && fft.scratch_length () == fresh.scratch_length ()) << n;
    for (bool fwd : { true, false })
    {
        EXPECT_EQ (transform (fft, fwd, x), transform (fresh, fwd, x)) << dir_name (fwd) << " " << n;
    }
}

TEST (Move, ObjectsKeepWorkingWhereverTheyGo)
{
    static_assert (std::is_nothrow_move_constructible <FFTReal <float>>::value
                   && std::is_nothrow_move_assignable <FFTReal <float>>::value
                   && ! std::is_copy_constructible <FFTReal <float>>::value
                   && ! std::is_copy_assignable <FFTReal <float>>::value, "moves, no copies");
    std::vector <FFTReal <float>> v;
    for (int bits = 0; bits <= 15; ++ bits)
    {
        v.emplace_back (1 << bits);
    }
    for (int bits = 0; bits <= 15; ++ bits)
    {
        expect_same_as_new (v [std::size_t (bits)], 1 << bits);
    }

    FFTReal <double> a (64);
    FFTReal <double> b (1 << 15, FFTRealIsa::SCALAR);
    a = std::move (b);
    expect_same_as_new (a, 1 << 15, FFTRealIsa::SCALAR);
    b = FFTReal <double> (8);
    expect_same_as_new (b, 8);
    FFTReal <double> c (std::move (a));
    expect_same_as_new (c, 1 << 15, FFTRealIsa::SCALAR);
}

TEST (FreeFunctions, LengthsAndNames)
{
    for (int b = 0; b <= 30; ++ b)
    {
        const int p = 1 << b;
        EXPECT_TRUE (quarn::FFTReal_is_pow2 (p) && quarn::FFTReal_is_valid_length (p)) << p;
        EXPECT_TRUE (quarn::FFTReal_ceil_log2 (p) == b && (p <= 2 || (quarn::FFTReal_ceil_log2 (p - 1) == b
                                                                       && quarn::FFTReal_ceil_log2 (p + 1) == b + 1))) << p;
        for (int q : { p - 1, p + 1, p + p / 2 })
        {
            EXPECT_TRUE (p <= 2 || ! (quarn::FFTReal_is_pow2 (q) || quarn::FFTReal_is_valid_length (q))) << q;
        }
    }
    EXPECT_EQ (quarn::FFTReal_ceil_log2 (INT_MAX), 31);
    EXPECT_FALSE (quarn::FFTReal_is_pow2 (INT_MAX));
    const std::int64_t one = 1;
    for (std::int64_t n : { std::int64_t (0), std::int64_t (-1), -(one << 30), one << 31, one << 32,
                            (one << 32) + 16, one << 62, INT64_MIN, INT64_MAX })
    {
        EXPECT_FALSE (quarn::FFTReal_is_valid_length (n)) << n;
    }
    static_assert (quarn::FFTReal_is_valid_length (one << 30) && ! quarn::FFTReal_is_valid_length (0),
                   "usable in constant expressions");

    const char * const names [] = { "AUTO", "SCALAR", "SSE2", "AVX2", "AVX512", "NEON", "?" };
    for (int i = 0; i < 7; ++ i)
    {
        EXPECT_STREQ (quarn::FFTReal_isa_name (FFTRealIsa (i)), names [i]);
    }
}

// A length of any other integer type makes the same object as the int.
TEST (IntegerLengths, SameObjectAsAnInt)
{
    expect_same_as_new (FFTReal <float> (std::size_t (1024)), 1024);
    expect_same_as_new (FFTReal <float> (std::uint64_t (1) << 14), 1 << 14);
    expect_same_as_new (FFTReal <double> (std::int64_t (256), FFTRealIsa::SCALAR), 256, FFTRealIsa::SCALAR);
    expect_same_as_new (FFTReal <double> (static_cast <unsigned short> (16)), 16);
    expect_same_as_new (FFTReal <float> (static_cast <signed char> (1)), 1);
    expect_same_as_new (FFTReal <float> (2L), 2);
}

// ---- Odd data ------------------------------------------------------------------

constexpr float INF_F = std::numeric_limits <float>::infinity ();

std::vector <float> scaled (std::vector <float> x, int e)
{
    std::transform (x.begin (), x.end (), x.begin (), [e] (float v) { return std::ldexp (v, e); });
    return x;
}

// The sign (-1, 0 or +1) of the exact weight of input element `in` in output
// element `out`, from integers alone, so that a zero weight is exactly zero.
int weight_sign (bool fwd, int n, int in, int out)
{
    const int h = n / 2;
    const int elem = fwd ? out : in;
    const std::int64_t j = ((elem > h ? elem - h : elem) * std::int64_t (fwd ? in : out)) % n;   // angle 2 pi j / n
    if (elem > h)   // a sine
    {
        return (j == 0 || 2 * j == n) ? 0 : (2 * j < n ? 1 : -1);
    }
    return (4 * j == n || 4 * j == 3 * n) ? 0 : (4 * j < n || 4 * j > 3 * n) ? 1 : -1;
}

// After odd data, a clean transform on `fft` must be bit-identical to a
// fresh object's.
void expect_clean_again (const FFTReal <float> &fft, int n)
{
    const std::vector <float> x = random_signal <float> (n, 77);
    for (bool fwd : { true, false })
    {
        EXPECT_EQ (std::memcmp (transform (fft, fwd, x).data (), transform (FFTReal <float> (n), fwd, x).data (),
                                n * sizeof (float)), 0) << dir_name (fwd) << " n " << n;
    }
}

// One NaN or infinity at a time: every output element with a non-zero weight
// on it is non-finite (NaN for a NaN; for an infinity, that of the weight's
// sign, or NaN where two infinities met); every finite one is bit-identical
// to the result with a zero in that place.
TEST (OddData, NanAndInfinityPropagateAndLeaveNoTrace)
{
    std::mt19937 gen (5);
    for (int n : { 1, 2, 4, 8, 16, 64, 4096, 1 << 13, 1 << 14, 1 << 15 })
    {
        const FFTReal <float> fft (n);
        for (bool fwd : { true, false })
        {
            for (int pos : { 0, 1 % n, n / 2, n - 1, int (gen () % unsigned (n)) })
            {
                std::vector <float> x = random_signal <float> (n, unsigned (n + pos));
                x [pos] = 0;
                const std::vector <float> base = transform (fft, fwd, x);
                for (float bad : { std::numeric_limits <float>::quiet_NaN (), INF_F, -INF_F })
                {
                    x [pos] = bad;
                    const std::vector <float> y = transform (fft, fwd, x);
                    for (int e = 0; e < n; ++ e)
                    {
                        const int w = weight_sign (fwd, n, pos, e);
                        const bool ok = std::isfinite (y [e])
                            ? w == 0 && std::memcmp (&y [e], &base [e], sizeof (float)) == 0
                            : std::isnan (bad) ? std::isnan (y [e])
                            : std::isnan (y [e]) || w == 0 || (y [e] > 0) == ((bad > 0) == (w > 0));
                        ASSERT_TRUE (ok) << dir_name (fwd) << " n " << n << ": " << bad << " at "
                                         << pos << ", element " << e << " is " << y [e] << ", weight " << w;
                    }
                }
            }
        }
        expect_clean_again (fft, n);
    }
}

// Scaling by a power of two is exact in the normal range, so T (2^e x)
// follows from T (x). Subnormals (gradual underflow, which quarn leaves on)
// round to steps of 2^-149: within sqrt (n) log2 (n) steps of 2^-127 T
// (2^127 x). Near FLT_MAX, 2^k T (2^-k x), no sum overflowing, is T with an
// unbounded exponent: a finite element must equal it, one above FLT_MAX must
// not be finite; one that fits may be non-finite, of either sign, when a
// partial sum overflowed. Below N max|x| = 2^125 nothing overflows.
TEST (OddData, SubnormalsAndMagnitudesNearFloatMaximum)
{
    volatile float smallest_normal = FLT_MIN;
    ASSERT_NE (smallest_normal / 2, 0.0f) << "flush-to-zero is on: these tests assume it off";
    const float denorm_min = std::numeric_limits <float>::denorm_min ();
    for (int n : { 1, 2, 4, 8, 16, 64, 1024, 1 << 14 })
    {
        const FFTReal <float> fft (n);
        // The smallest subnormal at sample 0: itself in every real element,
        // and n times itself back.
        std::vector <float> x (n, 0.0f), want (n, 0.0f);
        x [0] = denorm_min;
        std::fill (want.begin (), want.begin () + n / 2 + 1, denorm_min);
        EXPECT_EQ (transform (fft, true, x), want) << "n " << n;
        x [0] = n * denorm_min;
        EXPECT_EQ (transform (fft, false, want), x) << "n " << n;

        const std::vector <float> s = scaled (random_signal <float> (n, 3), -127);
        const double bound = std::sqrt (n) * std::max (1.0, std::log2 (n)) * denorm_min;
        const int k = 4 + static_cast <int> (std::log2 (n));
        const int up = 125 - static_cast <int> (std::log2 (n));
        std::vector <float> r = random_signal <float> (n, 11), c (n), alternating (n);
        for (int m = 0; m < n; ++ m)
        {
            r [m] = (r [m] < 0 ? -1 : 1) * FLT_MAX * (0.5f + std::fabs (r [m]) / 2);
            c [m] = FLT_MAX / 2 * float (std::cos (2 * 3.141592653589793 * 3 * m / n));
            alternating [m] = m % 2 == 0 ? 1.0f : -1.0f;
        }
        for (bool fwd : { true, false })
        {
            const std::vector <float> y_sub = transform (fft, fwd, s);
            const std::vector <float> y_up = transform (fft, fwd, scaled (s, 127));
            for (int e = 0; e < n; ++ e)
            {
                ASSERT_LE (std::fabs (y_sub [e] - std::ldexp (double (y_up [e]), -127)), bound)
                    << dir_name (fwd) << " n " << n << " element " << e;
            }
            for (const std::vector <float> &big : { std::vector <float> (n, FLT_MAX), r, c })
            {
                const std::vector <float> y = transform (fft, fwd, big);
                const std::vector <float> y_small = transform (fft, fwd, scaled (big, -k));
                for (int e = 0; e < n; ++ e)
                {
                    const double exact = std::ldexp (double (y_small [e]), k);
                    ASSERT_TRUE (std::fabs (exact) > FLT_MAX ? ! std::isfinite (y [e])
                                 : ! std::isfinite (y [e]) || double (y [e]) == exact)
                        << dir_name (fwd) << " n " << n << " element " << e << ": " << y [e] << ", " << exact;
                }
            }
            for (const std::vector <float> &v : { random_signal <float> (n, 12), std::vector <float> (n, 1.0f), alternating })
            {
                EXPECT_EQ (transform (fft, fwd, scaled (v, up)), scaled (transform (fft, fwd, v), up))
                    << dir_name (fwd) << " n " << n;
            }
        }
        expect_clean_again (fft, n);
    }

    // README's example: four samples of FLT_MAX; element 2 is exactly 0, but
    // both of its partial sums overflow, so it comes out as inf - inf.
    EXPECT_EQ (transform (FFTReal <float> (2), false, { -FLT_MAX, FLT_MAX }), std::vector <float> ({ 0.0f, -INF_F }));
    const std::vector <float> y = transform (FFTReal <float> (4), true, std::vector <float> (4, FLT_MAX));
    EXPECT_TRUE (y [0] == INF_F && y [1] == 0 && std::isnan (y [2]) && y [3] == 0) << y [0] << " " << y [2];
}

}  // namespace
