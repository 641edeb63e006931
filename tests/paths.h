// SPDX-License-Identifier: MIT
// One instruction-set path against the references over a range of lengths,
// both directions and both forms of the calls: test_paths.cpp runs it up to
// 2^16 (the scalar path to 2^20), test_long.cpp the vector paths beyond.

#ifndef QUARN_TESTS_PATHS_H
#define QUARN_TESTS_PATHS_H

#include "quarn/FFTReal.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <ostream>
#include <vector>

namespace quarn
{

// For gtest's messages and test names.
inline void PrintTo (FFTRealIsa isa, std::ostream *os)
{
    *os << FFTReal_isa_name (isa);
}

}  // namespace quarn

namespace qtest
{

using quarn::FFTReal;
using quarn::FFTRealIsa;

// Lanes of each instruction set, to tell wider from narrower.
inline int width (FFTRealIsa isa)
{
    switch (isa)
    {
    case FFTRealIsa::SCALAR: return 1;
    case FFTRealIsa::SSE2: case FFTRealIsa::NEON: return 4;
    case FFTRealIsa::AVX2: return 8;
    case FFTRealIsa::AVX512: return 16;
    case FFTRealIsa::AUTO: break;
    }
    return 1000;
}

// Relative RMS and largest errors: about three times the worst measured up
// to 2^20 on every path.
template <class T>
constexpr double RMS_BOUND = sizeof (T) == 4 ? 5e-7 : 1e-15;
template <class T>
constexpr double MAX_BOUND = sizeof (T) == 4 ? 1e-6 : 2e-15;

class PathTest : public ::testing::TestWithParam <FFTRealIsa>
{
protected:
    void SetUp () override
    {
        if (! FFTReal <float>::isa_available (GetParam ()))
        {
            GTEST_SKIP () << "this CPU or build has no " << quarn::FFTReal_isa_name (GetParam ())
                          << ": its path is tested where it runs";
        }
    }
};

// Lengths 2^from .. 2^to of the path `cap`: forward against the reference
// DFT, backward of any reals against the reference inverse, both against the
// scalar path, the scratch forms bit for bit as the others whatever the
// scratch held. The path must run from some length on, and at 2^to.
template <class T>
void check_path (FFTRealIsa cap, int from, int to)
{
    Error worst_fwd;
    Error worst_bwd;
    double worst_scalar = 0;
    bool ran = false;
    for (int bits = from; bits <= to; ++ bits)
    {
        const int n = 1 << bits;
        const FFTReal <T> fft (n, cap);
        const FFTReal <T> scalar (n, FFTRealIsa::SCALAR);
        EXPECT_TRUE (fft.isa () == cap || (! ran && width (fft.isa ()) < width (cap)))
            << "2^" << bits << " ran " << quarn::FFTReal_isa_name (fft.isa ());
        ran = ran || fft.isa () == cap;

        const std::vector <T> x = random_signal <T> (n, unsigned (300 + bits + sizeof (T)));
        const std::vector <T> g = random_signal <T> (n, unsigned (600 + bits + sizeof (T)));
        std::vector <T> f (n), y (n), f3 (n), y3 (n), fs (n), ys (n);
        std::vector <T> scratch (std::size_t (fft.scratch_length ()), std::numeric_limits <T>::quiet_NaN ());
        fft.forward (f.data (), x.data ());
        fft.forward (f3.data (), x.data (), scratch.data ());
        fft.backward (y.data (), g.data ());
        fft.backward (y3.data (), g.data (), scratch.data ());
        scalar.forward (fs.data (), x.data ());
        scalar.backward (ys.data (), g.data ());
        EXPECT_EQ (f3, f) << "2^" << bits;
        EXPECT_EQ (y3, y) << "2^" << bits;

        const Error ef = compare (f.data (), packed_dft <Wide <T>> (x.data (), n));
        const Error eb = compare (y.data (), packed_idft <Wide <T>> (g.data (), n));
        const double es = std::max (compare (f.data (), fs).max, compare (y.data (), ys).max);
        EXPECT_LT (ef.rms, RMS_BOUND <T>) << "forward 2^" << bits;
        EXPECT_LT (ef.max, MAX_BOUND <T>) << "forward 2^" << bits;
        EXPECT_LT (eb.rms, RMS_BOUND <T>) << "backward 2^" << bits;
        EXPECT_LT (eb.max, MAX_BOUND <T>) << "backward 2^" << bits;
        EXPECT_LT (es, MAX_BOUND <T>) << "against the scalar path 2^" << bits;
        worst_fwd.keep_worst (ef);
        worst_bwd.keep_worst (eb);
        worst_scalar = std::max (worst_scalar, es);
    }
    EXPECT_TRUE (ran && FFTReal <T> (1 << to, cap).isa () == cap);
    std::printf ("%s %s, N = 2^%d .. 2^%d: forward rel RMS %.3g, max rel %.3g; backward %.3g, %.3g; "
                 "against the scalar path %.3g\n", sizeof (T) == 4 ? "float" : "double",
                 quarn::FFTReal_isa_name (cap), from, to, worst_fwd.rms, worst_fwd.max,
                 worst_bwd.rms, worst_bwd.max, worst_scalar);
}

}  // namespace qtest

#define QUARN_INSTANTIATE_PATHS(SUITE)                                                            \
    INSTANTIATE_TEST_SUITE_P (Isa, SUITE,                                                         \
        ::testing::Values (quarn::FFTRealIsa::SCALAR, quarn::FFTRealIsa::SSE2,                    \
                           quarn::FFTRealIsa::AVX2, quarn::FFTRealIsa::AVX512,                    \
                           quarn::FFTRealIsa::NEON),                                              \
        [] (const ::testing::TestParamInfo <quarn::FFTRealIsa> &info)                             \
        { return std::string (quarn::FFTReal_isa_name (info.param)); })

#endif  // QUARN_TESTS_PATHS_H
