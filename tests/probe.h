// SPDX-License-Identifier: MIT
// A window on FFTReal's internals for the tests that need one: the scalar
// path's passes and work buffer, and the tables of a vector path. And the
// death-test pattern of a failed check.

#ifndef QUARN_TESTS_PROBE_H
#define QUARN_TESTS_PROBE_H

#include "quarn/FFTReal.h"

#include <string>

namespace quarn
{

template <class DT>
class FFTRealProbe
{
public:
    using Fft = FFTReal <DT>;

    explicit FFTRealProbe (const Fft &fft) : _fft (fft) {}

    static constexpr int TRIGO_BD_LIMIT = Fft::TRIGO_BD_LIMIT;

    DT * use_buffer () const { return _fft.use_buffer (); }
    const PhaseRotor & osc (int k) const { return _fft._osc_bank [k]; }
    const detail::VectorTables <DT> & tables () const { return _fft._vector_plan.tables (); }

    void transform_general (DT f [], const DT x [], DT buf []) const { _fft.transform_general (f, x, buf); }
    void pass_1_2 (DT df [], const DT x []) const { _fft.pass_1_2 (df, x); }
    void pass_3 (DT df [], const DT sf []) const { _fft.pass_3 (df, sf); }
    void pass_n (DT df [], const DT sf [], int pass) const { _fft.pass_n (df, sf, pass); }
    void pass_n_table (DT df [], const DT sf [], int pass) const { _fft.pass_n_table (df, sf, pass); }
    void pass_n_osc (DT df [], const DT sf [], int pass) const { _fft.pass_n_osc (df, sf, pass); }

private:
    const Fft & _fft;
};

}  // namespace quarn

namespace qtest
{

// A regular expression matching the report of the failed check `expr`.
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
    return "Assertion `" + re + "' failed";
}

}  // namespace qtest

#endif  // QUARN_TESTS_PROBE_H
