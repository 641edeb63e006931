// SPDX-License-Identifier: MIT
// The interface by examples that tell right from wrong: transforms worked by
// hand, the complex view, rescale, moves, the free functions and lengths of
// other integer types.

#include "common.h"
#include "quarn/FFTRealComplex.h"

#include <climits>
#include <complex>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

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
    V demo (16, T (0));   // the demo's: exactly 8, then zeros
    demo [0] = 8;
    EXPECT_EQ (fwd (V (16, T (0.5))), demo);
    // A cosine of two cycles in 8 samples: all of it in bin 2, real.
    EXPECT_EQ (fwd ({ 1, 0, -1, 0, 1, 0, -1, 0 }), V ({ 0, 0, 4, 0, 0, 0, 0, 0 }));

    // The same spectrum as bins: (10, 0), (-2, 2), (-2, 0).
    std::vector <std::complex <T>> z (4, { 7, 7 });
    quarn::FFTReal_packed_to_complex (z.data (), V ({ 10, -2, -2, -2 }).data (), 4);
    EXPECT_EQ (z, (std::vector <std::complex <T>> { { 10, 0 }, { -2, 2 }, { -2, 0 }, { 7, 7 } }));
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

// rescale after backward after forward gives the input back, and touches
// nothing past its N samples.
TEST (Rescale, CompletesTheRoundTrip)
{
    for (int bits = 0; bits <= 12; ++ bits)
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n);
        const std::vector <float> x = random_signal <float> (n, unsigned (bits));
        std::vector <float> y = transform (fft, false, transform (fft, true, x));
        y.push_back (5);
        fft.rescale (y.data ());
        EXPECT_LT (compare (y.data (), x).rms, 5e-7) << n;
        EXPECT_EQ (y [n], 5) << n;
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
    EXPECT_EQ (fft.length (), n);
    EXPECT_EQ (fft.isa (), fresh.isa ());
    EXPECT_EQ (fft.scratch_length (), fresh.scratch_length ());
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
        EXPECT_EQ (quarn::FFTReal_ceil_log2 (p), b);
        if (p > 2)
        {
            EXPECT_EQ (quarn::FFTReal_ceil_log2 (p - 1), b) << p;
            EXPECT_EQ (quarn::FFTReal_ceil_log2 (p + 1), b + 1) << p;
            for (int q : { p - 1, p + 1, p + p / 2 })
            {
                EXPECT_FALSE (quarn::FFTReal_is_pow2 (q) || quarn::FFTReal_is_valid_length (q)) << q;
            }
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

}  // namespace
