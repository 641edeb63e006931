// The instruction-set paths: each one this machine runs, against the scalar
// path and the long-double reference; the choice of path; and the 16-lane
// kernels on an emulated vector type, so that their logic is tested even
// where the CPU lacks AVX-512.

#include "quarn/FFTReal.h"
#include "instances.h"
#include "probe.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <vector>

namespace
{

using quarn::FFTReal;
using quarn::FFTRealIsa;
using Probe = quarn::FFTRealProbe <float>;

const char * isa_name (FFTRealIsa isa)
{
    switch (isa)
    {
    case FFTRealIsa::AUTO: return "AUTO";
    case FFTRealIsa::SCALAR: return "SCALAR";
    case FFTRealIsa::SSE2: return "SSE2";
    case FFTRealIsa::AVX2: return "AVX2";
    case FFTRealIsa::AVX512: return "AVX512";
    case FFTRealIsa::NEON: return "NEON";
    }
    return "?";
}

// Largest difference over the largest magnitude of the reference.
double max_rel_diff (const std::vector <float> &a, const std::vector <float> &ref)
{
    double err = 0;
    double mag = 0;
    for (std::size_t i = 0; i < ref.size (); ++ i)
    {
        err = std::max (err, std::fabs (double (a [i]) - ref [i]));
        mag = std::max (mag, std::fabs (double (ref [i])));
    }
    return mag > 0 ? err / mag : err;
}

// Long-double references, computed once per length for all paths.
const std::vector <qtest::Real> & reference (int bits)
{
    static std::map <int, std::vector <qtest::Real>> cache;
    auto it = cache.find (bits);
    if (it == cache.end ())
    {
        const int n = 1 << bits;
        const std::vector <float> x = qtest::random_signal (n, 300 + bits);
        it = cache.emplace (bits, bits <= 11 ? qtest::packed_dft_direct (x.data (), n)
                                             : qtest::packed_dft_fast (x.data (), n)).first;
    }
    return it->second;
}

constexpr int MAX_BITS = 16;

}  // namespace

namespace quarn
{

// For the test names and messages of gtest.
void PrintTo (FFTRealIsa isa, std::ostream *os)
{
    *os << isa_name (isa);
}

}  // namespace quarn

namespace
{



class Path : public ::testing::TestWithParam <FFTRealIsa>
{
protected:
    void SetUp () override
    {
        if (! FFTReal <float>::isa_available (GetParam ()))
        {
            GTEST_SKIP () << "this CPU (or build) cannot run " << isa_name (GetParam ())
                          << ": its path is tested on machines that can";
        }
    }
};

// The path asked for runs from its shortest length on, and narrower ones
// below it.
TEST_P (Path, RunsWhereItApplies)
{
    const FFTRealIsa isa = GetParam ();
    const int min_bits = (isa == FFTRealIsa::AVX512) ? 9
                       : (isa == FFTRealIsa::AVX2) ? 7
                       : (isa == FFTRealIsa::SSE2) ? 4 : 0;
    for (int bits = 0; bits <= MAX_BITS; ++ bits)
    {
        const FFTReal <float> fft (1 << bits, isa);
        if (bits >= min_bits)
        {
            EXPECT_EQ (fft.isa (), isa) << "n 2^" << bits;
        }
        else
        {
            EXPECT_NE (fft.isa (), isa) << "n 2^" << bits;
            EXPECT_TRUE (FFTReal <float>::isa_available (fft.isa ()));
        }
    }
}

// Forward against the scalar path and the reference; backward against the
// scalar path's backward of the same spectrum, and as a round trip.
TEST_P (Path, AgreesWithScalarAndReference)
{
    const FFTRealIsa isa = GetParam ();
    double worst_scalar = 0;
    double worst_rms = 0;
    double worst_max = 0;
    double worst_back = 0;
    double worst_trip = 0;
    for (int bits = 0; bits <= MAX_BITS; ++ bits)
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n, isa);
        const FFTReal <float> scalar (n, FFTRealIsa::SCALAR);
        const std::vector <float> x = qtest::random_signal (n, 300 + bits);
        std::vector <float> f (n);
        std::vector <float> fs (n);
        fft.forward (f.data (), x.data ());
        scalar.forward (fs.data (), x.data ());

        const qtest::Error e = qtest::compare (f.data (), reference (bits));
        EXPECT_LT (e.rel_rms, 5e-7) << "n 2^" << bits;
        EXPECT_LT (e.max_rel, 1e-6) << "n 2^" << bits;
        const double ds = max_rel_diff (f, fs);
        EXPECT_LT (ds, 1e-6) << "n 2^" << bits;

        std::vector <float> y (n);
        std::vector <float> ys (n);
        fft.backward (y.data (), fs.data ());
        scalar.backward (ys.data (), fs.data ());
        const double db = max_rel_diff (y, ys);
        EXPECT_LT (db, 1e-6) << "n 2^" << bits;
        fft.rescale (y.data ());
        const qtest::Error t = qtest::compare (y.data (), std::vector <qtest::Real> (x.begin (), x.end ()));
        EXPECT_LT (t.rel_rms, 5e-7) << "n 2^" << bits;

        worst_scalar = std::max (worst_scalar, ds);
        worst_rms = std::max (worst_rms, e.rel_rms);
        worst_max = std::max (worst_max, e.max_rel);
        worst_back = std::max (worst_back, db);
        worst_trip = std::max (worst_trip, t.rel_rms);
    }
    std::printf ("%s, N = 1 .. 2^%d: rel RMS %.3g, max rel %.3g; vs scalar: forward %.3g, "
                 "backward %.3g; round trip rel RMS %.3g\n", isa_name (isa), MAX_BITS,
                 worst_rms, worst_max, worst_scalar, worst_back, worst_trip);
}

// Any alignment: the same results, bit for bit, from arrays one float off.
TEST_P (Path, AnyAlignment)
{
    for (int bits : { 5, 7, 9, 12, 15 })
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n, GetParam ());
        const std::vector <float> x = qtest::random_signal (n, 77);
        std::vector <float> f (n);
        std::vector <float> y (n);
        fft.forward (f.data (), x.data ());
        fft.backward (y.data (), f.data ());

        std::vector <float> xo (n + 1);
        std::vector <float> fo (n + 1);
        std::vector <float> yo (n + 1);
        std::copy (x.begin (), x.end (), xo.begin () + 1);
        fft.forward (fo.data () + 1, xo.data () + 1);
        fft.backward (yo.data () + 1, fo.data () + 1);
        EXPECT_EQ (std::memcmp (f.data (), fo.data () + 1, n * sizeof (float)), 0) << "n 2^" << bits;
        EXPECT_EQ (std::memcmp (y.data (), yo.data () + 1, n * sizeof (float)), 0) << "n 2^" << bits;
    }
}

// No result depends on an earlier call or on the scratch buffer, and the
// inputs stay untouched.
TEST_P (Path, RepeatableAndLeavesInputsAlone)
{
    for (int bits : { 4, 8, 13, 16 })
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n, GetParam ());
        const std::vector <float> x = qtest::random_signal (n, 8);
        std::vector <float> f1 (n);
        std::vector <float> f2 (n);
        std::vector <float> y1 (n);
        std::vector <float> y2 (n);
        fft.forward (f1.data (), x.data ());
        const std::vector <float> f_copy = f1;
        fft.backward (y1.data (), f1.data ());
        EXPECT_EQ (f1, f_copy) << "n 2^" << bits;

        std::memset (Probe (fft).use_buffer (), 0x7f, n * sizeof (float));
        fft.forward (f2.data (), x.data ());
        std::memset (Probe (fft).use_buffer (), 0x7f, n * sizeof (float));
        fft.backward (y2.data (), f2.data ());
        EXPECT_EQ (f1, f2) << "n 2^" << bits;
        EXPECT_EQ (y1, y2) << "n 2^" << bits;
        EXPECT_EQ (x, qtest::random_signal (n, 8)) << "n 2^" << bits;
    }
}

INSTANTIATE_TEST_SUITE_P (Isa, Path,
    ::testing::Values (FFTRealIsa::SCALAR, FFTRealIsa::SSE2, FFTRealIsa::AVX2, FFTRealIsa::AVX512),
    [] (const ::testing::TestParamInfo <FFTRealIsa> &info) { return std::string (isa_name (info.param)); });

TEST (Paths, AutoPicksTheWidest)
{
    FFTRealIsa widest = FFTRealIsa::SCALAR;
    for (FFTRealIsa isa : { FFTRealIsa::SSE2, FFTRealIsa::AVX2, FFTRealIsa::AVX512 })
    {
        if (FFTReal <float>::isa_available (isa))
        {
            widest = isa;
        }
    }
    EXPECT_EQ (FFTReal <float> (1 << 12).isa (), widest);
    EXPECT_EQ (FFTReal <float> (1 << 12, FFTRealIsa::AUTO).isa (), widest);
    EXPECT_EQ (FFTReal <float> (1 << 12, FFTRealIsa::SCALAR).isa (), FFTRealIsa::SCALAR);
    EXPECT_TRUE (FFTReal <float>::isa_available (FFTRealIsa::AUTO));
    EXPECT_TRUE (FFTReal <float>::isa_available (FFTRealIsa::SCALAR));
    std::printf ("this machine runs %s\n", isa_name (widest));
}

}  // namespace



// ---- The 16-lane kernels on an emulated vector type ------------------------

#if QUARN_SIMD_X86

namespace quarn
{
namespace simd
{

// The vocabulary of FFTRealSimd.h, lane by lane.
struct Emu16F
{
    static constexpr int W = 16;
    float v [W];

    static Emu16F load (const float *p) { Emu16F r; std::memcpy (r.v, p, sizeof (r.v)); return r; }
    void store (float *p) const { std::memcpy (p, v, sizeof (v)); }
    static Emu16F splat (float x) { Emu16F r; std::fill (r.v, r.v + W, x); return r; }
    static Emu16F zero () { return splat (0); }

    template <class Op>
    static Emu16F map (Emu16F a, Emu16F b, Op op)
    {
        Emu16F r;
        for (int j = 0; j < W; ++ j)
        {
            r.v [j] = op (a.v [j], b.v [j]);
        }
        return r;
    }

    friend Emu16F operator + (Emu16F a, Emu16F b) { return map (a, b, [] (float p, float q) { return p + q; }); }
    friend Emu16F operator - (Emu16F a, Emu16F b) { return map (a, b, [] (float p, float q) { return p - q; }); }
    friend Emu16F operator * (Emu16F a, Emu16F b) { return map (a, b, [] (float p, float q) { return p * q; }); }
    static Emu16F mul_add (Emu16F a, Emu16F b, Emu16F c) { return a * b + c; }
    static Emu16F mul_sub (Emu16F a, Emu16F b, Emu16F c) { return a * b - c; }

    float first () const { return v [0]; }
    static Emu16F first_of (Emu16F a, Emu16F b) { a.v [0] = b.v [0]; return a; }
    static Emu16F reverse (Emu16F a) { std::reverse (a.v, a.v + W); return a; }

    static Emu16F reverse_shift (Emu16F a, Emu16F b)
    {
        Emu16F r;
        r.v [0] = b.v [0];
        for (int j = 1; j < W; ++ j)
        {
            r.v [j] = a.v [W - j];
        }
        return r;
    }

    static void transpose (Emu16F r [W])
    {
        for (int i = 0; i < W; ++ i)
        {
            for (int j = i + 1; j < W; ++ j)
            {
                std::swap (r [i].v [j], r [j].v [i]);
            }
        }
    }
};

struct Emu16D
{
    static constexpr int W = 16;
    double v [W];

    static Emu16D load (const double *p) { Emu16D r; std::memcpy (r.v, p, sizeof (r.v)); return r; }
    static Emu16D splat (double x) { Emu16D r; std::fill (r.v, r.v + W, x); return r; }

    static void rotate (Emu16D &c, Emu16D &s, Emu16D cs, Emu16D ss)
    {
        for (int j = 0; j < W; ++ j)
        {
            const double cj = c.v [j];
            c.v [j] = cj * cs.v [j] - s.v [j] * ss.v [j];
            s.v [j] = cj * ss.v [j] + s.v [j] * cs.v [j];
        }
    }

    Emu16F to_float () const
    {
        Emu16F r;
        for (int j = 0; j < W; ++ j)
        {
            r.v [j] = float (v [j]);
        }
        return r;
    }
};

}  // namespace simd
}  // namespace quarn

#define QUARN_SIMD_NS emu16
#define QUARN_SIMD_TARGET "sse2"
#define QUARN_SIMD_VECF Emu16F
#define QUARN_SIMD_VECD Emu16D
#include "quarn/FFTRealKernels.h"

namespace
{

// The same kernels as the AVX-512 path, on 16 emulated lanes, against the
// scalar path (the tables come from an object of a vector path).
TEST (Emulated16Lanes, KernelsAgreeWithScalar)
{
    if (! FFTReal <float>::isa_available (FFTRealIsa::SSE2))
    {
        GTEST_SKIP () << "needs an object of a vector path for its tables";
    }
    static_assert (quarn::simd::emu16::MIN_BITS == 9, "16 lanes start at 2^9");
    double worst = 0;
    for (int bits = quarn::simd::emu16::MIN_BITS; bits <= MAX_BITS; ++ bits)
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n, FFTRealIsa::SSE2);
        const FFTReal <float> scalar (n, FFTRealIsa::SCALAR);
        const std::vector <float> x = qtest::random_signal (n, 500 + bits);
        std::vector <float> f (n);
        std::vector <float> fs (n);
        const quarn::simd::Plan plan = Probe (fft).simd_plan (f.data ());
        quarn::simd::emu16::forward (plan, f.data (), x.data ());
        scalar.forward (fs.data (), x.data ());
        const double df = max_rel_diff (f, fs);
        EXPECT_LT (df, 1e-6) << "n 2^" << bits;

        std::vector <float> y (n);
        std::vector <float> ys (n);
        quarn::simd::emu16::backward (plan, y.data (), fs.data ());
        scalar.backward (ys.data (), fs.data ());
        const double db = max_rel_diff (y, ys);
        EXPECT_LT (db, 1e-6) << "n 2^" << bits;
        worst = std::max ({ worst, df, db });
    }
    std::printf ("16 emulated lanes vs scalar, N = 2^9 .. 2^%d: %.3g\n", MAX_BITS, worst);
}

}  // namespace

#endif  // QUARN_SIMD_X86
