// Checks, with debug checks on in every build type: the death of a program
// that breaks a precondition, and the text it reports.

#undef NDEBUG

#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "check_text.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <complex>
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
    EXPECT_DEATH (FFTReal <float> (3), check_text ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal <float> (0), check_text ("x > 0"));
    EXPECT_DEATH (FFTReal <float> (-4), check_text ("x > 0"));
}

TEST (ChecksDeathTest, ForwardArguments)
{
    const FFTReal <float> fft (16);
    std::vector <float> x (16, 1.0f);
    std::vector <float> f (16);
    float *buf = Probe (fft).use_buffer ();

    EXPECT_DEATH (fft.forward (f.data (), f.data ()), check_text ("x != f"));
    EXPECT_DEATH (fft.forward (nullptr, x.data ()), check_text ("f != 0"));
    EXPECT_DEATH (fft.forward (f.data (), nullptr), check_text ("x != 0"));
    EXPECT_DEATH (fft.forward (buf, x.data ()), check_text ("f != use_buffer ()"));
    EXPECT_DEATH (fft.forward (f.data (), buf), check_text ("x != use_buffer ()"));
}

TEST (ChecksDeathTest, BackwardArguments)
{
    const FFTReal <float> fft (16);
    std::vector <float> f (16, 1.0f);
    std::vector <float> x (16);
    float *buf = Probe (fft).use_buffer ();

    EXPECT_DEATH (fft.backward (x.data (), x.data ()), check_text ("x != f"));
    EXPECT_DEATH (fft.backward (x.data (), nullptr), check_text ("f != 0"));
    EXPECT_DEATH (fft.backward (nullptr, f.data ()), check_text ("x != 0"));
    EXPECT_DEATH (fft.backward (x.data (), buf), check_text ("f != use_buffer ()"));
    EXPECT_DEATH (fft.backward (buf, f.data ()), check_text ("x != use_buffer ()"));

    // The same checks guard the direct formulas and the double engine.
    const FFTReal <double> fft2 (2);
    std::vector <double> d (2);
    EXPECT_DEATH (fft2.backward (d.data (), d.data ()), check_text ("x != f"));
    EXPECT_DEATH (fft2.rescale (nullptr), check_text ("x != 0"));
}

TEST (ChecksDeathTest, ComplexViewArguments)
{
    std::vector <float> f (8);
    std::vector <std::complex <float>> z (5);
    using quarn::FFTReal_complex_to_packed;
    using quarn::FFTReal_packed_to_complex;

    EXPECT_DEATH (FFTReal_packed_to_complex (z.data (), f.data (), 6),
                  check_text ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal_packed_to_complex (z.data (), f.data (), 0), check_text ("x > 0"));
    EXPECT_DEATH (FFTReal_packed_to_complex <float> (nullptr, f.data (), 8), check_text ("z != 0"));
    EXPECT_DEATH (FFTReal_packed_to_complex <float> (z.data (), nullptr, 8), check_text ("f != 0"));

    EXPECT_DEATH (FFTReal_complex_to_packed (f.data (), z.data (), 6),
                  check_text ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal_complex_to_packed (f.data (), z.data (), -8), check_text ("x > 0"));
    EXPECT_DEATH (FFTReal_complex_to_packed <float> (nullptr, z.data (), 8), check_text ("f != 0"));
    EXPECT_DEATH (FFTReal_complex_to_packed <float> (f.data (), nullptr, 8), check_text ("z != 0"));
}

TEST (ChecksDeathTest, OscillatorPassNumber)
{
    const FFTReal <float> fft (1 << 14);
    std::vector <float> a (1 << 14);
    std::vector <float> b (1 << 14);
    EXPECT_DEATH (Probe (fft).pass_n_osc (a.data (), b.data (), 12),
                  check_text ("pass > TRIGO_BD_LIMIT"));
    EXPECT_DEATH (Probe (fft).pass_n_osc (a.data (), b.data (), 14),
                  check_text ("pass < _nbr_bits"));
}

TEST (ChecksDeathTest, DynArrayBounds)
{
    EXPECT_DEATH (DynArray <int> (-1), check_text ("size >= 0"));
    EXPECT_DEATH (DynArray <int> ().reallocate (-2), check_text ("size >= 0"));

    DynArray <int> empty;
    DynArray <int> zero (0);
    EXPECT_DEATH (empty [0], check_text ("pos < _len"));
    EXPECT_DEATH (zero [0], check_text ("pos < _len"));

    DynArray <int> a (5);
    a [4] = 1;
    EXPECT_DEATH (a [5], check_text ("pos < _len"));
    EXPECT_DEATH (a [-1], check_text ("pos >= 0"));

    // reallocate (0) keeps the length.
    a.reallocate (0);
    EXPECT_EQ (a [4], 1);
    EXPECT_DEATH (a [5], check_text ("pos < _len"));
}

// Table and bank sizes, seen through the bounds of their arrays.
TEST (ChecksDeathTest, TableSizes)
{
    const FFTReal <float> f8 (8);
    EXPECT_DEATH (Probe (f8).cos_entry (0), check_text ("pos < _len"));
    EXPECT_DEATH (Probe (f8).bitrev (8), check_text ("pos < _len"));

    const FFTReal <float> f64 (64);
    Probe (f64).cos_entry (27);   // 2^5 - 4 entries: levels 3 to 5
    EXPECT_DEATH (Probe (f64).cos_entry (28), check_text ("pos < _len"));

    // Bank: empty up to 2^12, then one element per bit above 12.
    const FFTReal <float> f4096 (1 << 12);
    EXPECT_DEATH (Probe (f4096).osc (0), check_text ("pos < _len"));
    for (int bits : { 13, 14, 15 })
    {
        const FFTReal <float> fft (1 << bits);
        Probe (fft).osc (bits - 13);
        EXPECT_DEATH (Probe (fft).osc (bits - 12), check_text ("pos < _len")) << bits;
    }
}

}  // namespace
