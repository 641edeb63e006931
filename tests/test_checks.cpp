// Debug checks, forced on whatever the build type: a program that breaks a
// precondition dies with the check's text. And DynArray's storage rules.

#undef NDEBUG

#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <complex>
#include <string>
#include <vector>

namespace
{

using qtest::check_text;
using quarn::DynArray;
using quarn::FFTReal;
using Probe = quarn::FFTRealProbe <float>;

TEST (ChecksDeathTest, ConstructorLength)
{
    EXPECT_DEATH (FFTReal <float> (12), check_text ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal <float> (0), check_text ("x > 0"));
    EXPECT_DEATH (FFTReal <float> (-4), check_text ("x > 0"));
}

// The five texts of forward and of backward: the output array is f for one,
// x for the other.
template <class T>
void expect_argument_checks (int n)
{
    // The length is hidden from the optimiser: knowing it, GCC at -O3 warns
    // of the out-of-range stores of the other lengths' code that the
    // transform cannot reach (-Warray-bounds on the 4-sample formulas).
    volatile int opaque = n;
    n = opaque;
    const FFTReal <T> fft (n);
    std::vector <T> in (n, T (1));
    std::vector <T> out (n);
    T *buf = quarn::FFTRealProbe <T> (fft).use_buffer ();
    for (bool fwd : { true, false })
    {
        const auto run = [&] (T *o, const T *i) { fwd ? fft.forward (o, i) : fft.backward (o, i); };
        const std::string o = fwd ? "f" : "x";
        const std::string i = fwd ? "x" : "f";
        EXPECT_DEATH (run (out.data (), out.data ()), check_text ("x != f")) << fwd;
        EXPECT_DEATH (run (nullptr, in.data ()), check_text (o + " != 0")) << fwd;
        EXPECT_DEATH (run (out.data (), nullptr), check_text (i + " != 0")) << fwd;
        EXPECT_DEATH (run (buf, in.data ()), check_text (o + " != use_buffer ()")) << fwd;
        EXPECT_DEATH (run (out.data (), buf), check_text (i + " != use_buffer ()")) << fwd;
    }
    EXPECT_DEATH (fft.rescale (nullptr), check_text ("x != 0"));
}

TEST (ChecksDeathTest, TransformArguments)
{
    expect_argument_checks <float> (16);
    expect_argument_checks <double> (2);   // the direct formulas
}

TEST (ChecksDeathTest, ComplexViewArguments)
{
    std::vector <float> f (8);
    std::vector <std::complex <float>> z (5);
    using quarn::FFTReal_complex_to_packed;
    using quarn::FFTReal_packed_to_complex;
    EXPECT_DEATH (FFTReal_packed_to_complex (z.data (), f.data (), 6), check_text ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal_packed_to_complex (z.data (), f.data (), 0), check_text ("x > 0"));
    EXPECT_DEATH (FFTReal_packed_to_complex <float> (nullptr, f.data (), 8), check_text ("z != 0"));
    EXPECT_DEATH (FFTReal_packed_to_complex <float> (z.data (), nullptr, 8), check_text ("f != 0"));
    EXPECT_DEATH (FFTReal_complex_to_packed (f.data (), z.data (), 6), check_text ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal_complex_to_packed (f.data (), z.data (), -8), check_text ("x > 0"));
    EXPECT_DEATH (FFTReal_complex_to_packed <float> (nullptr, z.data (), 8), check_text ("f != 0"));
    EXPECT_DEATH (FFTReal_complex_to_packed <float> (f.data (), nullptr, 8), check_text ("z != 0"));
}

// The passes above 2^13 points run on the bank, which has one element per bit
// above 12, seen through the bounds of its array.
TEST (ChecksDeathTest, OscillatorPassesAndBank)
{
    const FFTReal <float> fft (1 << 14, quarn::FFTRealIsa::SCALAR);
    std::vector <float> a (1 << 14);
    std::vector <float> b (1 << 14);
    EXPECT_DEATH (Probe (fft).pass_n_osc (a.data (), b.data (), 12), check_text ("pass > TRIGO_BD_LIMIT"));
    EXPECT_DEATH (Probe (fft).pass_n_osc (a.data (), b.data (), 14), check_text ("pass < _nbr_bits"));
    for (int bits : { 12, 13, 14, 15 })
    {
        const FFTReal <float> other (1 << bits, quarn::FFTRealIsa::SCALAR);
        EXPECT_DEATH (Probe (other).osc (bits - 12), check_text ("pos < _len")) << bits;
        if (bits > 12)
        {
            Probe (other).osc (bits - 13);   // the last element
        }
    }
}

// Bounds; reallocate (0) keeps the block, its contents and the length;
// reallocating to the same length gives a new block.
TEST (DynArrayDeathTest, BoundsAndReallocate)
{
    EXPECT_DEATH (DynArray <int> (-1), check_text ("size >= 0"));
    EXPECT_DEATH (DynArray <int> ().reallocate (-2), check_text ("size >= 0"));
    EXPECT_DEATH (DynArray <int> () [0], check_text ("pos < _len"));
    DynArray <int> a (3);
    EXPECT_DEATH (a [-1], check_text ("pos >= 0"));
    a [0] = 10;
    a [2] = 12;
    const int *block = &a [0];
    a.reallocate (0);
    EXPECT_EQ (&a [0], block);
    EXPECT_EQ (a [0], 10);
    EXPECT_EQ (a [2], 12);
    EXPECT_DEATH (a [3], check_text ("pos < _len"));
    a.reallocate (3);
    EXPECT_NE (&a [0], block);
}

}  // namespace
