// Without debug checks, a bad length must still be refused before any array
// is built: otherwise `forward` would run off the caller's arrays.

#ifndef NDEBUG
#define NDEBUG
#endif

#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "check_text.h"

#include <gtest/gtest.h>

#include <complex>
#include <vector>

namespace
{

using qtest::check_text;
using quarn::FFTReal;

// The report names the header and a line, as a failed assertion would.
std::string report (const char *expr)
{
    return "FFTReal\\.h:[0-9]+: .*" + check_text (expr);
}

TEST (ReleaseChecksDeathTest, BadLengthsAreRefused)
{
    EXPECT_DEATH (FFTReal <float> (12), report ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal <float> (3), report ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal <float> (0x40000001), report ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal <float> (0), report ("x > 0"));
    EXPECT_DEATH (FFTReal <float> (-4), report ("x > 0"));
    EXPECT_DEATH (FFTReal <float> (-2147483647 - 1), report ("x > 0"));
}

// The conversions size both arrays from the length: checked in every build.
TEST (ReleaseChecksDeathTest, ComplexViewLengths)
{
    std::vector <double> f (8);
    std::vector <std::complex <double>> z (5);
    EXPECT_DEATH (quarn::FFTReal_packed_to_complex (z.data (), f.data (), 6),
                  "FFTRealComplex\\.h:[0-9]+: .*" + check_text ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (quarn::FFTReal_complex_to_packed (f.data (), z.data (), 0), report ("x > 0"));
}

TEST (ReleaseChecksDeathTest, GoodLengthsStillWork)
{
    const FFTReal <float> fft (4);
    const std::vector <float> x = { 1, 2, 3, 4 };
    std::vector <float> f (4);
    fft.forward (f.data (), x.data ());
    EXPECT_EQ (f, std::vector <float> ({ 10, -2, -2, -2 }));
}

}  // namespace
