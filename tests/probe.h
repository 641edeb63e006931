// A window on FFTReal's internals for the tests (its tables and phasors),
// and the death-test pattern of a failed check.

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

    explicit FFTRealProbe (const Fft &fft) : _fft (const_cast <Fft &> (fft)) {}

    static constexpr int TRIGO_BD_LIMIT = Fft::TRIGO_BD_LIMIT;

    int bitrev (int c) const { return _fft._bitrev_table [c]; }
    DT cos_entry (int pos) const { return _fft._cos_table [pos]; }
    static int cos_level_index (int level) { return Fft::cos_level_index (level); }
    PhaseRotor & osc (int k) { return _fft._osc_bank [k]; }
    DT * use_buffer () const { return _fft.use_buffer (); }

    // The tables as the vector kernels see them (vector-path objects only),
    // with the scratch array placed for the output `out`.
    simd::Plan simd_plan (const DT *out) const { return _fft.simd_plan (out); }

    void pass_n_osc (DT df [], const DT sf [], int pass) const { _fft.pass_n_osc (df, sf, pass); }

private:
    Fft & _fft;
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
