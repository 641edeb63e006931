// SPDX-License-Identifier: MIT
// Without debug checks, a bad length must still be refused before any array
// is built: otherwise forward would run off the caller's arrays. A length of
// a wider type is checked whole, before it is narrowed to int.

#ifndef NDEBUG
#define NDEBUG
#endif

#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "probe.h"

#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
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
    EXPECT_DEATH (FFTReal <double> (0), report ("x > 0"));
    EXPECT_DEATH (FFTReal <float> (-2147483647 - 1), report ("x > 0"));

    // The complex view sizes both arrays from the length.
    std::vector <double> f (8);
    std::vector <std::complex <double>> z (5);
    EXPECT_DEATH (quarn::FFTReal_packed_to_complex (z.data (), f.data (), 6), report ("FFTReal_is_pow2 (length)"));
    EXPECT_DEATH (quarn::FFTReal_complex_to_packed (f.data (), z.data (), 0), report ("x > 0"));
}

TEST (ReleaseChecksDeathTest, WideLengthsAreCheckedBeforeNarrowing)
{
    const std::string text = report ("FFTReal_is_valid_length (length)");
    const std::uint64_t one = 1;
    EXPECT_DEATH (FFTReal <float> ((one << 32) + 16), text);   // would be 16 as an int
    EXPECT_DEATH (FFTReal <float> (one << 31), text);          // negative as an int
    EXPECT_DEATH (FFTReal <double> (one << 31, quarn::FFTRealIsa::SCALAR), text);
    EXPECT_DEATH (FFTReal <float> (~std::uint64_t (0)), text);
    EXPECT_DEATH (FFTReal <float> (std::int64_t (-16)), text);
    EXPECT_DEATH (FFTReal <double> (std::size_t (24)), text);
    EXPECT_DEATH (FFTReal <float> (0u), text);
    EXPECT_DEATH (FFTReal <float> (static_cast <short> (-32768)), text);
}

}  // namespace
