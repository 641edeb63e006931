// SPDX-License-Identifier: MIT
// A window on FFTReal's internals for what no call through the interface
// reaches: the object's work buffer, and the scalar passes with their own
// checks. And the text of a failed check, for death tests.

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
    explicit FFTRealProbe (const FFTReal <DT> &fft) : _fft (fft) {}

    DT * use_buffer () const { return _fft.use_buffer (); }

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
