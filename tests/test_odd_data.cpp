// Odd data: NaN and infinities, subnormal numbers, magnitudes near the float
// maximum. None may crash or hang, poison the object for later calls, or give
// a finite number that is wrong.

#include "quarn/FFTReal.h"
#include "reference.h"
#include "selfcheck.h"

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
using qtest::Dir;

constexpr float NAN_F = std::numeric_limits <float>::quiet_NaN ();
constexpr float INF_F = std::numeric_limits <float>::infinity ();

const int LENGTHS [] = { 1, 2, 4, 8, 16, 64, 4096, 1 << 13, 1 << 14, 1 << 15 };

bool same_bits (float a, float b)
{
    return std::memcmp (&a, &b, sizeof (a)) == 0;
}

// The sign (-1, 0 or +1) of the exact weight of input element `in` in output
// element `out`, from integers alone, so that a zero weight is exactly zero.
// Forward: cos (2 pi k p / n) for f[k], sin for f[n/2 + k]. Backward: 1 from
// f[0], (-1)^m from f[n/2], 2 cos and 2 sin of 2 pi k m / n from the others.
int weight_sign (Dir dir, int n, int in, int out)
{
    const int h = n / 2;
    const int elem = dir == Dir::FORWARD ? out : in;
    const int place = dir == Dir::FORWARD ? in : out;
    if (n == 1 || elem == 0)
    {
        return 1;
    }
    if (dir == Dir::BACKWARD && elem == h)
    {
        return place % 2 == 0 ? 1 : -1;
    }
    const bool is_sin = elem > h;
    const std::int64_t k = is_sin ? elem - h : elem;
    const std::int64_t j = (k * place) % n;
    if (is_sin)
    {
        return (j == 0 || 2 * j == n) ? 0 : (2 * j < n ? 1 : -1);
    }
    if (4 * j == n || 4 * j == 3 * std::int64_t (n))
    {
        return 0;
    }
    return (4 * j < n || 4 * j > 3 * std::int64_t (n)) ? 1 : -1;
}

std::vector <float> transformed (const FFTReal <float> &fft, Dir dir, const std::vector <float> &in)
{
    std::vector <float> out (in.size ());
    qtest::apply (fft, dir, out.data (), in.data ());
    return out;
}

// A clean transform on `fft` must be bit-identical to a fresh object's.
void expect_clean_again (const FFTReal <float> &fft, int n, const char *after)
{
    const FFTReal <float> fresh (n);
    const std::vector <float> x = qtest::random_signal (n, 77);
    for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
    {
        const std::vector <float> a = transformed (fft, dir, x);
        const std::vector <float> b = transformed (fresh, dir, x);
        EXPECT_EQ (std::memcmp (a.data (), b.data (), n * sizeof (float)), 0)
            << qtest::dir_name (dir) << " after " << after << ", n " << n;
    }
}

// One NaN or infinity at a time, at the ends, the middle and a random place.
// Every output element with a non-zero weight on it is non-finite (NaN for a
// NaN; for an infinity, an infinity of the weight's sign or a NaN where two
// infinities met); every element that stays finite is bit-identical to the
// result with a zero in that place, since nothing of the bad value reached it.
TEST (OddData, NanAndInfinityPropagateAndLeaveNoTrace)
{
    std::mt19937 gen (5);
    for (int n : LENGTHS)
    {
        const FFTReal <float> fft (n);
        for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
        {
            const char *what = qtest::dir_name (dir);
            for (int pos : { 0, 1 % n, n / 2, n - 1, int (gen () % unsigned (n)) })
            {
                std::vector <float> x = qtest::random_signal (n, unsigned (n + pos));
                x [pos] = 0;
                const std::vector <float> base = transformed (fft, dir, x);
                for (float bad : { NAN_F, INF_F, -INF_F })
                {
                    x [pos] = bad;
                    const std::vector <float> y = transformed (fft, dir, x);
                    for (int e = 0; e < n; ++ e)
                    {
                        const int w = weight_sign (dir, n, pos, e);
                        if (std::isfinite (y [e]))
                        {
                            ASSERT_EQ (w, 0) << what << " n " << n << " bad " << bad
                                             << " at " << pos << ": element " << e << " finite";
                            ASSERT_TRUE (same_bits (y [e], base [e]))
                                << what << " n " << n << " at " << pos << ": element " << e;
                        }
                        else if (std::isnan (bad))
                        {
                            ASSERT_TRUE (std::isnan (y [e])) << what << " n " << n << " element " << e;
                        }
                        else if (std::isinf (y [e]) && w != 0)
                        {
                            ASSERT_EQ (y [e] > 0, (bad > 0) == (w > 0))
                                << what << " n " << n << " " << bad << " at " << pos
                                << ": element " << e << " is " << y [e];
                        }
                    }
                }
            }

            // All bad at once: nothing finite comes out.
            for (float bad : { NAN_F, INF_F })
            {
                const std::vector <float> y = transformed (fft, dir, std::vector <float> (n, bad));
                for (int e = 0; e < n; ++ e)
                {
                    ASSERT_FALSE (std::isfinite (y [e])) << what << " n " << n << " element " << e;
                }
            }
        }
        expect_clean_again (fft, n, "NaN and infinity");
    }
}

// quarn leaves the floating-point environment alone; in the default one,
// which has gradual underflow, subnormal inputs are transformed like any
// others, except that each rounding in the subnormal range is to a step of
// 2^-149: the absolute error stays within sqrt (n) log2 (n) such steps (the
// transform reaches 0.4 of that). With flush-to-zero or denormals-are-zero
// turned on by the caller they would count as zeros; not asserted here.
TEST (OddData, SubnormalInputs)
{
    volatile float smallest_normal = FLT_MIN;
    ASSERT_NE (smallest_normal / 2, 0.0f) << "flush-to-zero is on: these tests assume it off";

    const float denorm_min = std::numeric_limits <float>::denorm_min ();
    for (int n : { 1, 2, 4, 8, 16, 64, 1024, 1 << 14 })
    {
        const FFTReal <float> fft (n);

        // The smallest subnormal at sample 0 appears unchanged in every real
        // element of the spectrum, and comes back n times as large.
        std::vector <float> x (n, 0.0f);
        x [0] = denorm_min;
        const std::vector <float> f = transformed (fft, Dir::FORWARD, x);
        for (int k = 0; k <= n / 2; ++ k)
        {
            ASSERT_EQ (f [k], denorm_min) << "n " << n << " element " << k;
        }
        for (int k = n / 2 + 1; k < n; ++ k)
        {
            ASSERT_EQ (f [k], 0.0f) << "n " << n << " element " << k;
        }
        const std::vector <float> back = transformed (fft, Dir::BACKWARD, f);
        for (int m = 0; m < n; ++ m)
        {
            ASSERT_EQ (back [m], m == 0 ? n * denorm_min : 0.0f) << "n " << n << " sample " << m;
        }

        // Random subnormals (below 2^-126, down to 2^-149), against 2^-127
        // times the transform of the same samples scaled up into the normal
        // range, where the scaling is exact: the difference is the rounding
        // to the subnormal grid, carried through the later stages.
        std::vector <float> s = qtest::random_signal (n, 3);
        std::vector <float> up (n);
        for (int m = 0; m < n; ++ m)
        {
            s [m] = std::ldexp (s [m], -127);
            up [m] = std::ldexp (s [m], 127);
        }
        const double bound = std::sqrt (n) * std::max (1.0, std::log2 (n)) * denorm_min;
        for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
        {
            const std::vector <float> y = transformed (fft, dir, s);
            const std::vector <float> y_up = transformed (fft, dir, up);
            for (int e = 0; e < n; ++ e)
            {
                ASSERT_LE (std::fabs (double (y [e]) - std::ldexp (double (y_up [e]), -127)), bound)
                    << qtest::dir_name (dir) << " n " << n << " element " << e;
            }
        }
    }
}

// Near the float maximum. Scaling by a power of two is exact as long as no
// sum overflows, so 2^k T (2^-k x), formed in double, is what the transform
// gives with an unbounded exponent. Each element must be exactly that when
// it is finite, and non-finite when that exceeds the float maximum. An
// element whose value fits may still be non-finite when a partial sum it is
// made of overflowed (for n = 4 and four samples of FLT_MAX, element 2 is
// exactly 0 but comes from inf - inf), and an overflowed partial sum scaled
// down by a twiddle can even give the infinity of the wrong sign, so no sign
// is asserted.
TEST (OddData, NearFloatMaximumOverflowsOnlyWhereSumsDo)
{
    for (int n : { 1, 2, 4, 8, 16, 64, 1024, 1 << 14 })
    {
        const FFTReal <float> fft (n);
        const int k = 4 + static_cast <int> (std::log2 (n));

        std::vector <std::vector <float>> signals;
        signals.push_back (std::vector <float> (n, FLT_MAX));
        std::vector <float> r = qtest::random_signal (n, 11);
        for (float &v : r)
        {
            v = (v < 0 ? -1 : 1) * FLT_MAX * (0.5f + std::fabs (v) / 2);
        }
        signals.push_back (r);
        std::vector <float> c (n);
        for (int m = 0; m < n; ++ m)
        {
            c [m] = FLT_MAX / 2 * float (std::cos (2 * qtest::PI_L * 3 * m / n));
        }
        signals.push_back (c);

        for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
        {
            const char *what = qtest::dir_name (dir);
            for (std::size_t sig = 0; sig < signals.size (); ++ sig)
            {
                const std::vector <float> &x = signals [sig];
                std::vector <float> x_small (x);
                for (float &v : x_small)
                {
                    v = std::ldexp (v, -k);
                }
                const std::vector <float> y = transformed (fft, dir, x);
                const std::vector <float> y_small = transformed (fft, dir, x_small);
                int overflowed = 0;
                for (int e = 0; e < n; ++ e)
                {
                    const double want = std::ldexp (double (y_small [e]), k);
                    if (std::fabs (want) > FLT_MAX)
                    {
                        ++ overflowed;
                        ASSERT_FALSE (std::isfinite (y [e])) << what << " n " << n << " signal " << sig
                                                             << " element " << e;
                    }
                    else if (std::isfinite (y [e]))
                    {
                        ASSERT_EQ (double (y [e]), want) << what << " n " << n << " signal " << sig
                                                         << " element " << e;
                    }
                }
                if (n > 1 && sig == 0)
                {
                    EXPECT_GT (overflowed, 0) << what << " n " << n << " signal " << sig;
                }
            }
        }
        expect_clean_again (fft, n, "overflow");

        // While N max|x| <= 2^125 (FLT_MAX / 8) nothing overflows, and a
        // power-of-two scale comes through exactly; the constant and the
        // alternating signal reach N max|x| in one element.
        const int up = 125 - static_cast <int> (std::log2 (n));
        std::vector <float> alternating (n);
        for (int m = 0; m < n; ++ m)
        {
            alternating [m] = m % 2 == 0 ? 1.0f : -1.0f;
        }
        for (const std::vector <float> &x : { qtest::random_signal (n, 12),
                                              std::vector <float> (n, 1.0f), alternating })
        {
            std::vector <float> big (x);
            for (float &v : big)
            {
                v = std::ldexp (v, up);
            }
            for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
            {
                const std::vector <float> y = transformed (fft, dir, x);
                const std::vector <float> y_big = transformed (fft, dir, big);
                for (int e = 0; e < n; ++ e)
                {
                    ASSERT_EQ (y_big [e], std::ldexp (y [e], up))
                        << qtest::dir_name (dir) << " n " << n << " element " << e;
                }
            }
        }
    }
}

// Small cases with every sum in view. N = 2: an overflowing sum is an
// infinity and the difference next to it is exact. N = 4, four samples of
// FLT_MAX: element 2 is exactly 0, but both of its partial sums overflow, so
// it comes out as inf - inf (the example in the README).
TEST (OddData, NearFloatMaximumSmallCases)
{
    const FFTReal <float> fft2 (2);
    std::vector <float> y = transformed (fft2, Dir::FORWARD, { FLT_MAX, FLT_MAX });
    EXPECT_EQ (y, std::vector <float> ({ INF_F, 0.0f }));
    y = transformed (fft2, Dir::FORWARD, { FLT_MAX, -FLT_MAX });
    EXPECT_EQ (y, std::vector <float> ({ 0.0f, INF_F }));
    y = transformed (fft2, Dir::BACKWARD, { -FLT_MAX, FLT_MAX });
    EXPECT_EQ (y, std::vector <float> ({ 0.0f, -INF_F }));

    const FFTReal <float> fft4 (4);
    y = transformed (fft4, Dir::FORWARD, std::vector <float> (4, FLT_MAX));
    EXPECT_EQ (y [0], INF_F);
    EXPECT_EQ (y [1], 0.0f);
    EXPECT_TRUE (std::isnan (y [2]));
    EXPECT_EQ (y [3], 0.0f);
}

}  // namespace
