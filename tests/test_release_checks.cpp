// Without debug checks, a bad length must still be refused before any array
// is built: otherwise forward would run off the caller's arrays.

#ifndef NDEBUG
#define NDEBUG
#endif

#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <complex>
#include <string>
#include <vector>

namespace
{

using quarn::FFTReal;

// The report names the header and a line, as a failed assertion would.
std::string report (const char *expr)
{
    return "quarn/.*\\.h:[0-9]+: .*" + qtest::check_text (expr);
}

TEST (ReleaseChecksDeathTest, BadLengthsAreRefused)
{
    EXPECT_DEATH (FFTReal <float> (12), report ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal <float> (0x40000001), report ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (FFTReal <float> (0), report ("x > 0"));
    EXPECT_DEATH (FFTReal <float> (-4), report ("x > 0"));
    EXPECT_DEATH (FFTReal <float> (-2147483647 - 1), report ("x > 0"));

    // The complex view sizes both arrays from the length.
    std::vector <double> f (8);
    std::vector <std::complex <double>> z (5);
    EXPECT_DEATH (quarn::FFTReal_packed_to_complex (z.data (), f.data (), 6),
                  report ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (quarn::FFTReal_complex_to_packed (f.data (), z.data (), 0), report ("x > 0"));
}

}  // namespace
