// SPDX-License-Identifier: MIT
// What the test programs share: the paths as test parameters and the error
// bounds they all meet; a window on FFTReal's internals that no call through
// the interface reaches (the work buffer, the scalar passes and their
// checks); the text of a failed check, for death tests.

#ifndef QUARN_TESTS_COMMON_H
#define QUARN_TESTS_COMMON_H

#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "reference.h"

#include <gtest/gtest.h>

// With reference.h's, the standard headers that the test files share.
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <string>

namespace quarn
{

// For gtest's messages.
inline void PrintTo (FFTRealIsa isa, std::ostream *os) { *os << FFTReal_isa_name (isa); }

template <class DT>
class FFTRealProbe
{
public:
    explicit FFTRealProbe (const FFTReal <DT> &fft) : _fft (fft) {}

    DT * use_buffer () const { return _fft.use_buffer (); }
    const detail::Kernels <DT> & kernels () const { return _fft._kernels; }

    void transform_general (DT f [], const DT x [], DT buf []) const { _fft.transform_general (f, x, buf); }
    void transform_general_inv (DT x [], const DT f [], DT buf []) const { _fft.transform_general_inv (x, f, buf); }
    void pass_1_2 (DT df [], const DT x []) const { _fft.pass_1_2 (df, x); }
    void pass_1_2_inv (DT x [], const DT sf []) const { _fft.pass_1_2_inv (x, sf); }
    void pass_3 (DT df [], const DT sf []) const { _fft.pass_3 (df, sf); }
    void pass_3_inv (DT df [], const DT sf []) const { _fft.pass_3_inv (df, sf); }
    void pass_n (DT df [], const DT sf [], int pass) const { _fft.pass_n (df, sf, pass); }
    void pass_n_inv (DT df [], const DT sf [], int pass) const { _fft.pass_n_inv (df, sf, pass); }
    void pass_n_table (DT df [], const DT sf [], int pass) const { _fft.pass_n_table (df, sf, pass); }
    void pass_n_osc (DT df [], const DT sf [], int pass) const { _fft.pass_n_osc (df, sf, pass); }

private:
    const FFTReal <DT> & _fft;
};

}  // namespace quarn

namespace qtest
{

using quarn::FFTReal;
using quarn::FFTRealIsa;

constexpr FFTRealIsa ISAS [] = { FFTRealIsa::SCALAR, FFTRealIsa::SSE2, FFTRealIsa::AVX2,
                                 FFTRealIsa::AVX512, FFTRealIsa::NEON };

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
            GTEST_SKIP () << "this CPU or build has no " << quarn::FFTReal_isa_name (GetParam ()) << ": tested where it runs";
        }
    }
};

// A regular expression matching the report of the failed check `expr`,
// which names the header and a line as a failed assertion does.
inline std::string check_text (const std::string &expr)
{
    std::string re;
    for (char ch : expr)
    {
        if (std::string ("\\^$.|?*+()[]{}").find (ch) != std::string::npos)
        {
            re += '\\';
        }
        re += ch;
    }
    return "quarn/.*\\.h:[0-9]+: .*Assertion `" + re + "' failed";
}

}  // namespace qtest

// A suite of tests run on each path (TEST_P (SUITE, ...)), named by the path.
#define QUARN_PATH_SUITE(SUITE)                                                                   \
    class SUITE : public qtest::PathTest {};                                                      \
    INSTANTIATE_TEST_SUITE_P (Isa, SUITE, ::testing::ValuesIn (qtest::ISAS),                      \
        [] (const auto &info) { return std::string (quarn::FFTReal_isa_name (info.param)); })

#endif  // QUARN_TESTS_COMMON_H
