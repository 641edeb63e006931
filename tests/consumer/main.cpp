// SPDX-License-Identifier: MIT
// A client of quarn that calls every public function, in float and double,
// so that CI can build it with strict warnings as errors (.ci/run) under g++
// and clang++. Exits with 0 when the results are right.

#include <quarn/DynArray.h>
#include <quarn/FFTReal.h>
#include <quarn/FFTRealComplex.h>
#include <quarn/PhaseRotor.h>

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

// The largest error of round trips through both forms of the calls and the
// complex view; 1 when the object describes itself wrongly.
template <class T>
double round_trip_error (quarn::FFTRealIsa isa)
{
    const std::size_t n = std::size_t (1) << 14;
    quarn::FFTReal <T> moved (n, isa);
    quarn::FFTReal <T> fft (std::move (moved));
    moved = quarn::FFTReal <T> (16, isa);
    if (fft.length () != int (n) || moved.length () != quarn::FFTReal <T> (16).length ()
        || fft.isa () == quarn::FFTRealIsa::AUTO || ! quarn::FFTReal <T>::isa_available (fft.isa ()))
    {
        return 1;
    }
    std::vector <T> x (n), f (n), y (n), scratch (std::size_t (fft.scratch_length ()));
    std::vector <std::complex <T>> z (n / 2 + 1);
    for (std::size_t m = 0; m < n; ++ m)
    {
        x [m] = T (std::sin (0.1 * double (m * m)));
    }
    double worst = 0;
    for (T *s : { static_cast <T *> (nullptr), scratch.data () })
    {
        s != nullptr ? fft.forward (f.data (), x.data (), s) : fft.forward (f.data (), x.data ());
        quarn::FFTReal_packed_to_complex (z.data (), f.data (), int (n));
        quarn::FFTReal_complex_to_packed (f.data (), z.data (), int (n));
        s != nullptr ? fft.backward (y.data (), f.data (), s) : fft.backward (y.data (), f.data ());
        fft.rescale (y.data ());
        for (std::size_t m = 0; m < n; ++ m)
        {
            worst = std::fmax (worst, std::fabs (double (y [m]) - double (x [m])));
        }
    }
    return worst;
}

int main ()
{
    int bad = 0;
    bad += ! quarn::FFTReal_is_pow2 (1024) || quarn::FFTReal_ceil_log2 (1000) != 10;
    bad += quarn::FFTReal_is_valid_length (std::int64_t (1) << 40) || ! quarn::FFTReal_is_valid_length (8);
    bad += std::strcmp (quarn::FFTReal_isa_name (quarn::FFTRealIsa::SCALAR), "SCALAR") != 0;

    quarn::DynArray <double> a (4);
    a.reallocate (8);
    a [7] = 2;
    quarn::DynArray <double> b (std::move (a));
    a = std::move (b);
    const quarn::DynArray <double> &c = a;
    bad += c [7] != 2;

    quarn::PhaseRotor r;
    r.set_increment (std::atan (1.0) * 2);
    r.advance ();
    bad += std::fabs (r.cur_cos ()) > 1e-15 || std::fabs (r.cur_sin () - 1) > 1e-15;
    r.reset ();
    bad += r.cur_cos () != 1 || r.cur_sin () != 0;

    for (quarn::FFTRealIsa isa : { quarn::FFTRealIsa::AUTO, quarn::FFTRealIsa::SCALAR })
    {
        const double e_float = round_trip_error <float> (isa);
        const double e_double = round_trip_error <double> (isa);
        std::printf ("%s round trip, largest error: float %.3g, double %.3g\n",
                     quarn::FFTReal_isa_name (isa), e_float, e_double);
        bad += ! (e_float < 1e-5 && e_double < 1e-13);
    }
    return bad == 0 ? 0 : 1;
}
