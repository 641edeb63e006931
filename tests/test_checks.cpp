// SPDX-License-Identifier: MIT
// The checks, in two programs from this file. Debug checks forced on: a
// call that breaks a precondition dies with the check's text, the first in
// the documented order where it breaks several; DynArray's storage. Off
// (QUARN_TEST_RELEASE_CHECKS): a bad length, which would make forward run
// off the caller's arrays, is still refused before any array is built, and
// one of a wider type is checked whole, before it is narrowed to int.

#undef NDEBUG
#ifdef QUARN_TEST_RELEASE_CHECKS
#define NDEBUG
#endif

#include "common.h"

#include <functional>
#include <utility>

namespace
{

using qtest::check_text;
using quarn::DynArray;
using quarn::FFTReal;

// Each case a call and the text it must die with.
using Cases = std::vector <std::pair <std::function <void ()>, std::string>>;

void expect_deaths (const Cases &cases)
{
    for (const auto &[call, text] : cases)
    {
        EXPECT_DEATH (call (), check_text (text)) << text;
    }
}

#ifdef NDEBUG

TEST (ReleaseChecksDeathTest, BadLengthsAreRefused)
{
    // The complex view sizes both arrays from the length.
    std::vector <double> f (8);
    std::vector <std::complex <double>> z (5);
    const std::string pow2 = "FFTReal_is_pow2 (length)";
    expect_deaths ({ { [] { FFTReal <float> (12); }, pow2 }, { [] { FFTReal <float> (0x40000001); }, pow2 },
                     { [] { FFTReal <double> (0); }, "x > 0" }, { [] { FFTReal <float> (-2147483647 - 1); }, "x > 0" },
                     { [&] { quarn::FFTReal_packed_to_complex (z.data (), f.data (), 6); }, pow2 },
                     { [&] { quarn::FFTReal_complex_to_packed (f.data (), z.data (), 0); }, "x > 0" } });
}

TEST (ReleaseChecksDeathTest, WideLengthsAreCheckedBeforeNarrowing)
{
    const std::string text = "FFTReal_is_valid_length (length)";
    const std::uint64_t one = 1;
    // 2^32 + 16 would be 16 as an int, 2^31 negative.
    expect_deaths ({ { [] { FFTReal <float> ((one << 32) + 16); }, text }, { [] { FFTReal <float> (one << 31); }, text },
                     { [] { FFTReal <double> (one << 31, quarn::FFTRealIsa::SCALAR); }, text },
                     { [] { FFTReal <float> (~std::uint64_t (0)); }, text },
                     { [] { FFTReal <float> (std::int64_t (-16)); }, text },
                     { [] { FFTReal <double> (std::size_t (24)); }, text }, { [] { FFTReal <float> (0u); }, text },
                     { [] { FFTReal <float> (static_cast <short> (-32768)); }, text } });
}

#else

// Forward and backward check f before x, with or without scratch; calls are
// written (f, x) for both directions here.
template <class T>
void expect_argument_checks (int n)
{
    // The length is hidden from the optimiser: knowing it, GCC at -O3 warns
    // of out-of-range stores in the code of other lengths, which the
    // transform cannot reach.
    volatile int opaque = n;
    const FFTReal <T> fft (opaque);
    std::vector <T> a (std::size_t (n), T (1));
    std::vector <T> scratch (std::size_t (fft.scratch_length ()));
    T * const f = a.data ();
    T * const s = scratch.data ();
    T * const buf = quarn::FFTRealProbe <T> (fft).use_buffer ();
    T * const z = nullptr;
    for (bool fwd : { true, false })
    {
        const auto two = [&fft, fwd] (T *ff, T *xx) { fwd ? fft.forward (ff, xx) : fft.backward (xx, ff); };
        const auto three = [&fft, fwd] (T *ff, T *xx, T *ss) { fwd ? fft.forward (ff, xx, ss) : fft.backward (xx, ff, ss); };
        expect_deaths ({ { [&] { two (z, z); }, "f != 0" }, { [&] { two (buf, buf); }, "f != use_buffer ()" },
                         { [&] { two (f, z); }, "x != 0" }, { [&] { two (f, buf); }, "x != use_buffer ()" },
                         { [&] { two (f, f); }, "x != f" },
                         { [&] { three (z, z, z); }, "scratch != 0" },
                         { [&] { three (z, z, s); }, "f != 0" }, { [&] { three (s, s, s); }, "f != scratch" },
                         { [&] { three (f, z, s); }, "x != 0" }, { [&] { three (f, s, s); }, "x != scratch" },
                         { [&] { three (f, f, s); }, "x != f" } });
    }
    EXPECT_DEATH (fft.rescale (nullptr), check_text ("x != 0"));
}

TEST (ChecksDeathTest, TransformArgumentsInOrder)
{
    expect_argument_checks <float> (1 << 10);
    expect_argument_checks <double> (4);   // the direct formulas
}

// A moved-from object may be assigned to (test_api.cpp) and destroyed,
// nothing else.
TEST (ChecksDeathTest, MovedFromObject)
{
    FFTReal <float> a (16);
    const FFTReal <float> b (std::move (a));
    std::vector <float> vx (16, 1.0f), vf (16), vs (std::size_t (b.scratch_length ()));
    float * const x = vx.data ();
    float * const f = vf.data ();
    float * const s = vs.data ();
    const std::string text = "_length > 0";
    expect_deaths ({ { [&] { a.forward (f, x); }, text }, { [&] { a.backward (x, f); }, text },
                     { [&] { a.forward (f, x, s); }, text }, { [&] { a.backward (x, f, s); }, text },
                     { [&] { a.rescale (x); }, text }, { [&] { (void) a.length (); }, text },
                     { [&] { (void) a.scratch_length (); }, text }, { [&] { (void) a.isa (); }, text } });
}

// Their lengths are checked in every build, above.
TEST (ChecksDeathTest, ComplexViewArguments)
{
    std::vector <float> f (8);
    std::vector <std::complex <float>> z (5);
    std::complex <float> * const zn = nullptr;
    float * const fn = nullptr;
    expect_deaths ({ { [&] { quarn::FFTReal_packed_to_complex (zn, fn, 8); }, "z != 0" },
                     { [&] { quarn::FFTReal_packed_to_complex (z.data (), fn, 8); }, "f != 0" },
                     { [&] { quarn::FFTReal_complex_to_packed (fn, zn, 8); }, "f != 0" },
                     { [&] { quarn::FFTReal_complex_to_packed (f.data (), zn, 8); }, "z != 0" } });
}

// The scalar passes repeat the checks on the arrays they are handed, and on
// the pass numbers, as a second line behind the entry points. `run (d, s)`
// calls one with its arrays named d and s in its checks.
template <class Run>
void expect_array_checks (Run run, const std::string &d, const std::string &s)
{
    std::vector <float> v (1 << 14);
    float * const a = v.data ();
    expect_deaths ({ { [&] { run (nullptr, a); }, d + " != 0" }, { [&] { run (a, nullptr); }, s + " != 0" },
                     { [&] { run (a, a); }, d + " != " + s } });
}

TEST (ChecksDeathTest, ScalarPassesCheckWhatTheyAreHanded)
{
    using Probe = quarn::FFTRealProbe <float>;
    const FFTReal <float> fft (1 << 14, quarn::FFTRealIsa::SCALAR);
    const Probe p (fft);
    std::vector <float> va (1 << 14), vb (1 << 14);
    float * const a = va.data ();
    float * const b = vb.data ();
    for (bool inv : { false, true })
    {
        // Written (f, x, buf) in both directions.
        const auto run = [&p, inv] (float *f, float *x, float *buf) {
            inv ? p.transform_general_inv (x, f, buf) : p.transform_general (f, x, buf);
        };
        expect_deaths ({ { [&] { run (nullptr, a, b); }, "f != 0" }, { [&] { run (b, a, b); }, "f != buf" },
                         { [&] { run (a, nullptr, b); }, "x != 0" }, { [&] { run (a, b, b); }, "x != buf" },
                         { [&] { run (a, a, b); }, "x != f" } });
    }
    expect_array_checks ([&] (float *d, float *s) { p.pass_1_2 (d, s); }, "df", "x");
    expect_array_checks ([&] (float *d, float *s) { p.pass_1_2_inv (d, s); }, "x", "sf");
    expect_array_checks ([&] (float *d, float *s) { p.pass_3 (d, s); }, "df", "sf");
    expect_array_checks ([&] (float *d, float *s) { p.pass_3_inv (d, s); }, "df", "sf");
    using Pass = void (Probe::*) (float *, const float *, int) const;
    for (Pass pass : { &Probe::pass_n, &Probe::pass_n_inv, &Probe::pass_n_table, &Probe::pass_n_osc })
    {
        const bool osc = pass == &Probe::pass_n_osc;
        expect_array_checks ([&] (float *d, float *s) { (p.*pass) (d, s, 13); }, "df", "sf");
        expect_deaths ({ { [&] { (p.*pass) (a, b, osc ? 12 : 2); }, osc ? "pass > TRIGO_BD_LIMIT" : "pass >= 3" },
                         { [&] { (p.*pass) (a, b, 14); }, "pass < _nbr_bits" } });
    }
}

TEST (DynArrayDeathTest, SizesAndBoundsThroughBothAccessors)
{
    DynArray <int> a (3);
    const DynArray <int> &c = a;
    expect_deaths ({ { [] { DynArray <int> (-1); }, "size >= 0" },
                     { [] { DynArray <int> ().reallocate (-2); }, "size >= 0" },
                     { [] { (void) DynArray <int> () [0]; }, "pos < _len" },
                     { [&] { (void) a [-1]; }, "pos >= 0" }, { [&] { (void) a [3]; }, "pos < _len" },
                     { [&] { (void) c [-1]; }, "pos >= 0" }, { [&] { (void) c [3]; }, "pos < _len" } });
    a.reallocate (5);
    a [4] = 4;
    EXPECT_EQ (c [4], 4);
    EXPECT_DEATH ((void) c [5], check_text ("pos < _len"));
}

// reallocate gives fresh elements, never the old ones copied; a size of 0
// keeps everything; a move leaves the source empty.
TEST (DynArrayDeathTest, ReallocateAndMove)
{
    struct Mark
    {
        int v = -1;
    };
    DynArray <Mark> a (4);
    a [0].v = 0;
    a [3].v = 3;
    a.reallocate (0);
    EXPECT_TRUE (a [0].v == 0 && a [3].v == 3);
    a.reallocate (4);
    for (int i = 0; i < 4; ++ i)
    {
        EXPECT_EQ (a [i].v, -1) << "element " << i << " was carried over";
    }
    a [3].v = 3;
    DynArray <Mark> b (std::move (a));
    EXPECT_EQ (b [3].v, 3);
    EXPECT_DEATH ((void) a [0], check_text ("pos < _len"));
    a = std::move (b);
    EXPECT_EQ (a [3].v, 3);
    EXPECT_DEATH ((void) b [0], check_text ("pos < _len"));
}

#endif

// Both programs build without the vector paths (QUARN_SCALAR_ONLY, set by
// CMake): whatever the CPU, no other path is offered, and the default
// object runs the scalar passes, to the float bounds.
TEST (ScalarOnlyBuild, EveryObjectRunsTheScalarPasses)
{
    for (const quarn::FFTRealIsa isa : qtest::ISAS)
    {
        EXPECT_EQ (FFTReal <float>::isa_available (isa), isa == quarn::FFTRealIsa::SCALAR) << quarn::FFTReal_isa_name (isa);
        EXPECT_EQ (FFTReal <double>::isa_available (isa), isa == quarn::FFTRealIsa::SCALAR) << quarn::FFTReal_isa_name (isa);
    }
    const int n = 1 << 10;
    const FFTReal <float> fft (n);
    EXPECT_EQ (fft.isa (), quarn::FFTRealIsa::SCALAR);
    const std::vector <float> x = qtest::random_signal <float> (n, 17);
    for (const bool fwd : { true, false })
    {
        const qtest::Error e = qtest::compare (qtest::transform (fft, fwd, x).data (),
                                               qtest::reference <double> (fwd, x.data (), n));
        EXPECT_LT (e.rms, qtest::RMS_BOUND <float>) << qtest::dir_name (fwd);
    }
}

}  // namespace
