// SPDX-License-Identifier: MIT
// Each instruction-set path this machine runs: results against the
// references at every length, and what no call may depend on (alignment,
// earlier calls, the work buffer, the scratch's contents); the choice of
// path; what a plan takes from the CPU. Tests named Long* are the opt-in
// long ones.

#include "common.h"
#include "quarn/detail/engine.h"

#include <array>
#include <cstdio>
#include <new>

namespace
{

using namespace qtest;

// Float lanes of each instruction set, in FFTRealIsa's order (AUTO: wider
// than any), to tell wider from narrower.
int width (FFTRealIsa isa) { return std::array { 1000, 1, 4, 8, 16, 4 }.at (std::size_t (isa)); }

// The first element of p on a cache line.
template <class T>
T * line_of (T *p)
{
    const std::uintptr_t a = reinterpret_cast <std::uintptr_t> (p);
    return p + ((0 - a) & 63) / sizeof (T);
}

// Lengths 2^from .. 2^to of the path `cap`, both directions: against the
// reference and the scalar path; the scratch call on a new object (scratch
// full of NaN) bit for bit as the plain call on arrays one sample off and on
// an output on a cache line, after
// a call on other data and with garbage in the work buffer; the input left
// as it was. The path must run from some length on, and at 2^to.
template <class T>
void check_path (FFTRealIsa cap, int from, int to)
{
    Error worst [2];
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
        std::vector <T> scratch (std::size_t (fft.scratch_length ()), std::numeric_limits <T>::quiet_NaN ());
        for (bool fwd : { true, false })
        {
            const std::vector <T> x = random_signal <T> (n, unsigned (300 * (1 + fwd) + bits + sizeof (T)));
            const std::vector <T> y = transform (fft, fwd, x, scratch.data ());
            (void) transform (fft, fwd, random_signal <T> (n, 9));
            std::memset (quarn::FFTRealProbe <T> (fft).use_buffer (), 0x7f, scratch.size () * sizeof (T));
            std::vector <T> xo (n + 1), yo (n + 1);
            std::copy (x.begin (), x.end (), xo.begin () + 1);
            fwd ? fft.forward (yo.data () + 1, xo.data () + 1) : fft.backward (yo.data () + 1, xo.data () + 1);
            EXPECT_TRUE (std::equal (y.begin (), y.end (), yo.begin () + 1) && std::equal (x.begin (), x.end (), xo.begin () + 1))
                << dir_name (fwd) << " 2^" << bits;
            // And on a cache line (some kernels take another road off one).
            std::vector <T> ya (std::size_t (n) + 64 / sizeof (T));
            T * const on_line = line_of (ya.data ());
            fwd ? fft.forward (on_line, x.data ()) : fft.backward (on_line, x.data ());
            EXPECT_TRUE (std::equal (y.begin (), y.end (), on_line)) << dir_name (fwd) << " 2^" << bits << " on a line";
            const Error e = compare (y.data (), reference <Wide <T>> (fwd, x.data (), n));
            const double es = compare (y.data (), transform (scalar, fwd, x)).max;
            EXPECT_TRUE (e.rms < RMS_BOUND <T> && e.max < MAX_BOUND <T> && es < MAX_BOUND <T>) << dir_name (fwd) << " 2^"
                << bits << ": rel RMS " << e.rms << ", max rel " << e.max << ", against the scalar path " << es;
            worst [fwd] = { std::max (worst [fwd].rms, e.rms), std::max (worst [fwd].max, e.max) };
            worst_scalar = std::max (worst_scalar, es);
        }
    }
    EXPECT_TRUE (ran && FFTReal <T> (1 << to, cap).isa () == cap);
    std::printf ("%s %s, N = 2^%d .. 2^%d: forward rel RMS %.3g, max rel %.3g; backward %.3g, %.3g; "
                 "against the scalar path %.3g\n", sizeof (T) == 4 ? "float" : "double",
                 quarn::FFTReal_isa_name (cap), from, to, worst [1].rms, worst [1].max,
                 worst [0].rms, worst [0].max, worst_scalar);
}

// Every length from 1 to 2^16; the scalar path, which every CPU without a
// vector path runs at every length, on to 2^20 (its phasor passes from
// 2^14 on each have an increment of their own). Where long double is done
// in software (AArch64), the references of double above 2^16 would take
// minutes under emulation: those lengths go with the long tests there.
constexpr bool WIDE_IS_FAST = std::numeric_limits <long double>::digits <= 64;

int top (FFTRealIsa isa, bool dbl) { return isa == FFTRealIsa::SCALAR && (WIDE_IS_FAST || ! dbl) ? 20 : 16; }

QUARN_PATH_SUITE (Path);

TEST_P (Path, FloatAgainstReferences)
{
    check_path <float> (GetParam (), 0, top (GetParam (), false));
}

TEST_P (Path, DoubleAgainstReferences)
{
    check_path <double> (GetParam (), 0, top (GetParam (), true));
}

// A cap gives the widest path that the CPU has, the cap allows and that
// handles the length (a cap the CPU lacks: no wider than the cap); AUTO the
// widest of all. A path that handles a length handles the longer ones.
template <class T>
void expect_widest_path ()
{
    for (int bits = 0; bits <= 16; ++ bits)
    {
        const int n = 1 << bits;
        FFTRealIsa widest = FFTRealIsa::SCALAR;
        for (FFTRealIsa p : ISAS)
        {
            const bool handles = FFTReal <T> (n, p).isa () == p;
            EXPECT_TRUE (! handles || FFTReal <T> (2 * n, p).isa () == p) << int (p) << " 2^" << bits;
            widest = handles && width (p) > width (widest) ? p : widest;
            for (FFTRealIsa cap : ISAS)
            {
                const FFTRealIsa got = FFTReal <T> (n, cap).isa ();
                EXPECT_TRUE (FFTReal <T>::isa_available (got) && width (got) <= width (cap));
                EXPECT_TRUE (! handles || width (p) > width (cap) || width (got) >= width (p)
                             || ! FFTReal <T>::isa_available (cap))
                    << "2^" << bits << " cap " << int (cap) << " ran " << int (got);
            }
        }
        EXPECT_EQ (FFTReal <T> (n).isa (), widest) << "2^" << bits;
    }
}

TEST (PathChoice, WidestThatHandlesTheLength)
{
    expect_widest_path <float> ();
    expect_widest_path <double> ();
}

// What a plan takes from the CPU only regroups the same operations, so the
// outputs are the same bits whatever the machine reports: the L2's size,
// where both arrays are larger (it sets the blocks of the middle passes),
// and AMD's (the inverse first kernel and the last stages through their
// buffers, on a line too). So do the first kernel's stores past the caches,
// which the plan takes only for arrays far longer than these.
// With the widest kernels here, at a length where an L2 of 2 MiB changes
// the schedule and that AMD's stage, with outputs on a line and off one.
template <class T>
void expect_cpu_keeps_bits (int bits)
{
    const FFTReal <T> fft (1 << bits);
    const quarn::detail::Kernels <T> &k = quarn::FFTRealProbe <T> (fft).kernels ();
    if (k.forward == nullptr)
    {
        GTEST_SKIP () << "no vector path";
    }
    using Cpu = quarn::detail::CpuTraits;
    const quarn::detail::VectorPlan <T> plans [3] = { { k, bits, Cpu { 0, false } },
                                                      { k, bits, Cpu { std::size_t (2) << 20, false } },
                                                      { k, bits, Cpu { std::size_t (2) << 20, true } } };
    ASSERT_NE (plans [0].tables ().forward_schedule.end [1], plans [1].tables ().forward_schedule.end [1]);
    const auto &amd = plans [2].tables ();
    ASSERT_TRUE (! plans [1].tables ().staged [1] && ! plans [1].tables ().staged_last && amd.staged [0]
                 && amd.staged [1] && amd.staged_last && ! amd.stream_first);
    quarn::detail::VectorTables <T> tabs [4] = { plans [0].tables (), plans [1].tables (), amd, amd };
    tabs [3].stream_first = true;
    const int n = 1 << bits;
    const std::vector <T> x = random_signal <T> (n, unsigned (700 + bits));
    std::vector <T> scratch (std::size_t (n) + quarn::detail::scratch_slack_bytes (bits) / sizeof (T));
    std::vector <T> f [4], y [4];
    std::vector <T> out_array (std::size_t (n) + 64 / sizeof (T) + 1);
    for (int p = 0; p < 4; ++ p)
    {
        for (const std::size_t off : { std::size_t (0), std::size_t (1) })
        {
            // On a line first, where the output is kept; then off one.
            T * const out = line_of (out_array.data ()) + off;
            for (const bool fwd : { true, false })
            {
                std::vector <T> &kept = fwd ? f [p] : y [p];
                fwd ? k.forward (tabs [p], out, x.data (), scratch.data ())
                    : k.backward (tabs [p], out, x.data (), scratch.data ());
                if (off == 0)
                {
                    kept.assign (out, out + n);
                }
                EXPECT_TRUE (std::equal (kept.begin (), kept.end (), out)) << dir_name (fwd) << " plan " << p << " off a line";
            }
        }
    }
    for (int p = 1; p < 4; ++ p)
    {
        EXPECT_TRUE (f [0] == f [p] && y [0] == y [p]) << quarn::FFTReal_isa_name (k.isa) << " 2^" << bits << " plan " << p;
    }
}

TEST (Blocking, CpuKeepsTheBits)
{
    expect_cpu_keeps_bits <float> (19);
    expect_cpu_keeps_bits <double> (18);
}

// ---- Long lengths, opt-in (CTest label `long`) ---------------------------------

// Each path on from where the default suite stops.
QUARN_PATH_SUITE (LongPath);

TEST_P (LongPath, FloatAgainstReferences)
{
    check_path <float> (GetParam (), top (GetParam (), false) + 1, GetParam () == FFTRealIsa::SCALAR ? 22 : 20);
}

TEST_P (LongPath, DoubleAgainstReferences)
{
    check_path <double> (GetParam (), top (GetParam (), true) + 1, GetParam () == FFTRealIsa::SCALAR ? 22 : 20);
}

// 2^28 and 2^30 at spot bins, by direct long-double sums (input, output and
// tables: about 18 bytes a sample). The samples come from splitmix64, fast
// enough for 2^30; a plain LCG's lattice would make float rounding errors
// coherent, and any float FFT then shows 1e-6 to 1e-5 at the lowest odd bins.
void spot_test (int bits)
{
    const std::int64_t n = std::int64_t (1) << bits;
    const std::unique_ptr <float []> x (new (std::nothrow) float [std::size_t (n)]);
    const std::unique_ptr <float []> f (new (std::nothrow) float [std::size_t (n)]);
    if (! x || ! f)
    {
        GTEST_SKIP () << "not enough memory for 2^" << bits;
    }
    for (std::uint64_t i = 0, s = std::uint64_t (bits); i < std::uint64_t (n); ++ i)
    {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        x [i] = float (std::int32_t ((z ^ (z >> 31)) >> 32) * (1.0 / 2147483648.0));
    }
    FFTReal <float> (n).forward (f.get (), x.get ());

    std::vector <long double> got, want;
    const long double pi = 3.141592653589793238462643383279502884L;
    for (std::int64_t k : { std::int64_t (0), std::int64_t (1), std::int64_t (3), n / 4, n / 2 - 1, n / 2,
                            std::int64_t (12345), n / 2 - 98765 })
    {
        // X[k] by a long-double phasor, recomputed exactly every 1024 steps.
        const auto phasor = [&] (std::int64_t j) { return std::polar (1.0L, -2 * pi * (long double) (j & (n - 1)) / (long double) n); };
        const std::complex <long double> step = phasor (k);
        std::complex <long double> sum = 0, w = 1;
        for (std::int64_t m = 0; m < n; ++ m)
        {
            w = (m & 1023) == 0 ? phasor (k * m) : w * step;
            sum += (long double) x [std::size_t (m)] * w;
        }
        got.insert (got.end (), { f [std::size_t (k)], k > 0 && k < n / 2 ? -(long double) f [std::size_t (n / 2 + k)] : 0 });
        want.insert (want.end (), { sum.real (), sum.imag () });
    }
    const Error e = compare (got.data (), want);
    std::printf ("N = 2^%d (spot bins): rel RMS %.3g, max rel %.3g\n", bits, e.rms, e.max);
    EXPECT_LT (e.rms, 2e-6);
    EXPECT_LT (e.max, 4e-6);
}

TEST (LongSpotBins, N2p28)
{
    spot_test (28);
}

TEST (LongSpotBins, N2p30)
{
    spot_test (30);
}

}  // namespace
