// SPDX-License-Identifier: MIT
// Odd data: NaN and infinities, subnormal numbers, magnitudes near the float
// maximum, none of which may crash, poison the object for later calls, or
// give a finite number that is wrong (README, "Odd data").

#include "common.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace
{

using namespace qtest;

constexpr float INF_F = std::numeric_limits <float>::infinity ();
constexpr float NAN_F = std::numeric_limits <float>::quiet_NaN ();

std::vector <float> scaled (std::vector <float> x, int e)
{
    for (float &v : x)
    {
        v = std::ldexp (v, e);
    }
    return x;
}

// The sign (-1, 0 or +1) of the exact weight of input element `in` in output
// element `out`, from integers alone, so that a zero weight is exactly zero.
int weight_sign (bool fwd, int n, int in, int out)
{
    const int h = n / 2;
    const int elem = fwd ? out : in;
    const std::int64_t place = fwd ? in : out;
    if (n == 1 || elem == 0)
    {
        return 1;
    }
    const std::int64_t j = ((elem > h ? elem - h : elem) * place) % n;   // angle 2 pi j / n
    if (elem > h)
    {
        return (j == 0 || 2 * j == n) ? 0 : (2 * j < n ? 1 : -1);
    }
    if (4 * j == n || 4 * j == 3 * n)
    {
        return 0;
    }
    return (4 * j < n || 4 * j > 3 * n) ? 1 : -1;
}

// After odd data, a clean transform on `fft` must be bit-identical to a
// fresh object's.
void expect_clean_again (const FFTReal <float> &fft, int n)
{
    const std::vector <float> x = random_signal <float> (n, 77);
    for (bool fwd : { true, false })
    {
        const std::vector <float> a = transform (fft, fwd, x);
        const std::vector <float> b = transform (FFTReal <float> (n), fwd, x);
        EXPECT_EQ (std::memcmp (a.data (), b.data (), n * sizeof (float)), 0) << dir_name (fwd) << " n " << n;
    }
}

// One NaN or infinity at a time: every output element with a non-zero weight
// on it is non-finite (NaN for a NaN; for an infinity, that of the weight's
// sign, or NaN where two infinities met); every finite one is bit-identical
// to the result with a zero in that place. All NaN or all infinite: nothing
// finite.
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
                for (float bad : { NAN_F, INF_F, -INF_F })
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
            for (float bad : { NAN_F, INF_F })
            {
                for (float v : transform (fft, fwd, std::vector <float> (n, bad)))
                {
                    ASSERT_FALSE (std::isfinite (v)) << dir_name (fwd) << " n " << n << " all " << bad;
                }
            }
        }
        expect_clean_again (fft, n);
    }
}

// With gradual underflow (the default, which quarn leaves alone) subnormals
// are transformed like other numbers, but each rounding below 2^-126 is to a
// step of 2^-149: within sqrt (n) log2 (n) such steps of the same samples
// scaled up into the normal range, where scaling is exact.
TEST (OddData, SubnormalInputs)
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
        for (bool fwd : { true, false })
        {
            const std::vector <float> y = transform (fft, fwd, s);
            const std::vector <float> y_up = transform (fft, fwd, scaled (s, 127));
            for (int e = 0; e < n; ++ e)
            {
                ASSERT_LE (std::fabs (y [e] - std::ldexp (double (y_up [e]), -127)), bound)
                    << dir_name (fwd) << " n " << n << " element " << e;
            }
        }
    }
}

// Scaling by a power of two is exact while no sum overflows, so 2^k T (2^-k x)
// is what the transform gives with an unbounded exponent: a finite element
// must equal it, and one whose value exceeds FLT_MAX must not be finite. An
// element that fits may still be non-finite, when a partial sum overflowed,
// and then of either sign. Below N max|x| = 2^125 nothing overflows at all.
TEST (OddData, NearFloatMaximumOverflowsOnlyWhereSumsDo)
{
    for (int n : { 1, 2, 4, 8, 16, 64, 1024, 1 << 14 })
    {
        const FFTReal <float> fft (n);
        const int k = 4 + static_cast <int> (std::log2 (n));
        std::vector <float> r = random_signal <float> (n, 11), c (n), alternating (n);
        for (int m = 0; m < n; ++ m)
        {
            r [m] = (r [m] < 0 ? -1 : 1) * FLT_MAX * (0.5f + std::fabs (r [m]) / 2);
            c [m] = FLT_MAX / 2 * float (std::cos (2 * 3.141592653589793 * 3 * m / n));
            alternating [m] = m % 2 == 0 ? 1.0f : -1.0f;
        }
        for (bool fwd : { true, false })
        {
            for (const std::vector <float> &x : { std::vector <float> (n, FLT_MAX), r, c })
            {
                const std::vector <float> y = transform (fft, fwd, x);
                const std::vector <float> y_small = transform (fft, fwd, scaled (x, -k));
                for (int e = 0; e < n; ++ e)
                {
                    const double want = std::ldexp (double (y_small [e]), k);
                    ASSERT_TRUE (std::fabs (want) > FLT_MAX ? ! std::isfinite (y [e])
                                 : ! std::isfinite (y [e]) || double (y [e]) == want)
                        << dir_name (fwd) << " n " << n << " element " << e << ": " << y [e] << ", " << want;
                }
            }
            const int up = 125 - static_cast <int> (std::log2 (n));
            for (const std::vector <float> &x : { random_signal <float> (n, 12), std::vector <float> (n, 1.0f), alternating })
            {
                EXPECT_EQ (transform (fft, fwd, scaled (x, up)), scaled (transform (fft, fwd, x), up))
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
