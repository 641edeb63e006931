// SPDX-License-Identifier: MIT
// Odd data: NaN and infinities, subnormal numbers, magnitudes near the float
// maximum, none of which may crash, poison the object for later calls, or
// give a finite number that is wrong (README, "Odd data").

#include "quarn/FFTReal.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace
{

using quarn::FFTReal;

enum class Dir { FORWARD, BACKWARD };
constexpr Dir DIRS [] = { Dir::FORWARD, Dir::BACKWARD };
constexpr float INF_F = std::numeric_limits <float>::infinity ();

const char * dir_name (Dir dir) { return dir == Dir::FORWARD ? "forward" : "backward"; }

std::vector <float> transformed (const FFTReal <float> &fft, Dir dir, const std::vector <float> &in)
{
    std::vector <float> out (in.size ());
    dir == Dir::FORWARD ? fft.forward (out.data (), in.data ()) : fft.backward (out.data (), in.data ());
    return out;
}

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
int weight_sign (Dir dir, int n, int in, int out)
{
    const int h = n / 2;
    const int elem = dir == Dir::FORWARD ? out : in;
    const std::int64_t place = dir == Dir::FORWARD ? in : out;
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

// A clean transform on `fft` must be bit-identical to a fresh object's.
void expect_clean_again (const FFTReal <float> &fft, int n)
{
    const FFTReal <float> fresh (n);
    const std::vector <float> x = qtest::random_signal <float> (n, 77);
    for (Dir dir : DIRS)
    {
        const std::vector <float> a = transformed (fft, dir, x);
        const std::vector <float> b = transformed (fresh, dir, x);
        EXPECT_EQ (std::memcmp (a.data (), b.data (), n * sizeof (float)), 0) << dir_name (dir) << " n " << n;
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
        for (Dir dir : DIRS)
        {
            for (int pos : { 0, 1 % n, n / 2, n - 1, int (gen () % unsigned (n)) })
            {
                std::vector <float> x = qtest::random_signal <float> (n, unsigned (n + pos));
                x [pos] = 0;
                const std::vector <float> base = transformed (fft, dir, x);
                for (float bad : { std::numeric_limits <float>::quiet_NaN (), INF_F, -INF_F })
                {
                    x [pos] = bad;
                    const std::vector <float> y = transformed (fft, dir, x);
                    for (int e = 0; e < n; ++ e)
                    {
                        const int w = weight_sign (dir, n, pos, e);
                        const bool ok = std::isfinite (y [e])
                            ? w == 0 && std::memcmp (&y [e], &base [e], sizeof (float)) == 0
                            : std::isnan (bad) ? std::isnan (y [e])
                            : std::isnan (y [e]) || w == 0 || (y [e] > 0) == ((bad > 0) == (w > 0));
                        ASSERT_TRUE (ok) << dir_name (dir) << " n " << n << ": " << bad << " at "
                                         << pos << ", element " << e << " is " << y [e] << ", weight " << w;
                    }
                }
            }
            for (float bad : { std::numeric_limits <float>::quiet_NaN (), INF_F })
            {
                for (float v : transformed (fft, dir, std::vector <float> (n, bad)))
                {
                    ASSERT_FALSE (std::isfinite (v)) << dir_name (dir) << " n " << n << " all " << bad;
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
        std::vector <float> x (n, 0.0f);
        x [0] = denorm_min;
        std::vector <float> want (n, 0.0f);
        std::fill (want.begin (), want.begin () + n / 2 + 1, denorm_min);
        EXPECT_EQ (transformed (fft, Dir::FORWARD, x), want) << "n " << n;
        x [0] = n * denorm_min;
        EXPECT_EQ (transformed (fft, Dir::BACKWARD, want), x) << "n " << n;

        const std::vector <float> s = scaled (qtest::random_signal <float> (n, 3), -127);
        const std::vector <float> up = scaled (s, 127);
        const double bound = std::sqrt (n) * std::max (1.0, std::log2 (n)) * denorm_min;
        for (Dir dir : DIRS)
        {
            const std::vector <float> y = transformed (fft, dir, s);
            const std::vector <float> y_up = transformed (fft, dir, up);
            for (int e = 0; e < n; ++ e)
            {
                ASSERT_LE (std::fabs (y [e] - std::ldexp (double (y_up [e]), -127)), bound)
                    << dir_name (dir) << " n " << n << " element " << e;
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
        std::vector <float> r = qtest::random_signal <float> (n, 11);
        std::vector <float> c (n);
        std::vector <float> alternating (n);
        for (int m = 0; m < n; ++ m)
        {
            r [m] = (r [m] < 0 ? -1 : 1) * FLT_MAX * (0.5f + std::fabs (r [m]) / 2);
            c [m] = FLT_MAX / 2 * float (std::cos (2 * 3.141592653589793 * 3 * m / n));
            alternating [m] = m % 2 == 0 ? 1.0f : -1.0f;
        }
        for (Dir dir : DIRS)
        {
            for (const std::vector <float> &x : { std::vector <float> (n, FLT_MAX), r, c })
            {
                const std::vector <float> y = transformed (fft, dir, x);
                const std::vector <float> y_small = transformed (fft, dir, scaled (x, -k));
                for (int e = 0; e < n; ++ e)
                {
                    const double want = std::ldexp (double (y_small [e]), k);
                    ASSERT_TRUE (std::fabs (want) > FLT_MAX ? ! std::isfinite (y [e])
                                 : ! std::isfinite (y [e]) || double (y [e]) == want)
                        << dir_name (dir) << " n " << n << " element " << e << ": " << y [e] << ", " << want;
                }
            }
            const int up = 125 - static_cast <int> (std::log2 (n));
            for (const std::vector <float> &x : { qtest::random_signal <float> (n, 12), std::vector <float> (n, 1.0f), alternating })
            {
                EXPECT_EQ (transformed (fft, dir, scaled (x, up)), scaled (transformed (fft, dir, x), up))
                    << dir_name (dir) << " n " << n;
            }
        }
        expect_clean_again (fft, n);
    }
}

// Four samples of FLT_MAX: element 2 is exactly 0, but both of its partial
// sums overflow, so it comes out as inf - inf (README's example).
TEST (OddData, NearFloatMaximumSmallCase)
{
    EXPECT_EQ (transformed (FFTReal <float> (2), Dir::BACKWARD, { -FLT_MAX, FLT_MAX }), std::vector <float> ({ 0.0f, -INF_F }));
    const std::vector <float> y = transformed (FFTReal <float> (4), Dir::FORWARD, std::vector <float> (4, FLT_MAX));
    EXPECT_EQ (y [0], INF_F);
    EXPECT_EQ (y [1], 0.0f);
    EXPECT_TRUE (std::isnan (y [2]));
    EXPECT_EQ (y [3], 0.0f);
}

}  // namespace
