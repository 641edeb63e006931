// SPDX-License-Identifier: MIT
// FFTRealComplex: the packed spectrum of FFTReal as std::complex bins, and
// back.
//
// For N real samples x[m], the usual DFT is X[k] = sum x[m] e^(-2 pi i k m / N).
// A real signal's X is Hermitian, X[N - k] = conj X[k], so bins 0 .. N/2
// carry all of it: N/2 + 1 complex numbers. The packed spectrum of
// FFTReal::forward holds the same numbers in N reals (see FFTReal.h):
//
//     packed f (N reals)                 complex z (N/2 + 1 bins)
//     f[0]                               z[0]       = (f[0], 0)
//     f[k], f[N/2 + k]   k = 1 .. N/2-1  z[k]       = (f[k], -f[N/2 + k])
//     f[N/2]                             z[N/2]     = (f[N/2], 0)
//
// The imaginary parts change sign because the packed layout keeps the sine
// sums of the e^(+2 pi i k m / N) kernel. Both conversions only copy and
// negate, so they are exact: converting a packed spectrum to bins and back
// gives it back bit for bit.
//
// Small lengths: for N = 1 there is one bin, z[0] = (f[0], 0); for N = 2 two
// real bins, z[0] = (f[0], 0) and z[1] = (f[1], 0).
//
// Bins 0 and N/2 of a real signal are real, and the packed layout has no
// room for an imaginary part there. FFTReal_complex_to_packed ignores those
// two imaginary parts: backward then gives the real part of the inverse DFT
// of the N bins z[0], z[1] .. z[N/2], conj z[N/2 - 1] .. conj z[1]. That
// suits a caller who edited bins, or who brings a spectrum computed
// elsewhere with rounding residue in those two places.

#ifndef QUARN_FFTREALCOMPLEX_H
#define QUARN_FFTREALCOMPLEX_H

#include "quarn/FFTReal.h"

#include <cassert>
#include <complex>

namespace quarn
{

// Writes the N/2 + 1 bins X[0 .. N/2] of the packed spectrum f of `length`
// = N samples into z (layout above; N = 1 gives one bin).
//
// Needs: `length` a power of two from 1 to 2^30, checked in every build
// ("x > 0", "FFTReal_is_pow2 (length)"), because it sizes both arrays; f
// readable for N reals and z writable for N/2 + 1 bins, not overlapping.
// Debug builds check "z != 0" and "f != 0".
// Guarantees: exact (copies and negations only); the imaginary parts of bins
// 0 and N/2 are +0; writes z[0 .. N/2] only; allocates nothing; no shared
// state, so any number of threads may convert at once.
template <class DT>
void FFTReal_packed_to_complex (std::complex <DT> z [], const DT f [], int length);

// Writes the packed spectrum (N reals, the layout FFTReal::forward writes and
// FFTReal::backward reads) of the N/2 + 1 bins z into f.
//
// Needs: as for FFTReal_packed_to_complex, with z readable and f writable.
// Debug builds check "f != 0" and "z != 0".
// Guarantees: exact; the imaginary parts of z[0] and z[N/2] are ignored
// (see the top of this file); writes f[0 .. N-1] only; allocates nothing;
// no shared state.
template <class DT>
void FFTReal_complex_to_packed (DT f [], const std::complex <DT> z [], int length);



// ---- Implementation -------------------------------------------------------

template <class DT>
void FFTReal_packed_to_complex (std::complex <DT> z [], const DT f [], int length)
{
    QUARN_CHECK (FFTReal_is_pow2 (length));
    assert (z != 0);
    assert (f != 0);

    if (length == 1)
    {
        z [0] = std::complex <DT> (f [0], DT (0));
        return;
    }

    const int half = length / 2;
    z [0] = std::complex <DT> (f [0], DT (0));
    for (int k = 1; k < half; ++ k)
    {
        z [k] = std::complex <DT> (f [k], -f [half + k]);
    }
    z [half] = std::complex <DT> (f [half], DT (0));
}



template <class DT>
void FFTReal_complex_to_packed (DT f [], const std::complex <DT> z [], int length)
{
    QUARN_CHECK (FFTReal_is_pow2 (length));
    assert (f != 0);
    assert (z != 0);

    if (length == 1)
    {
        f [0] = z [0].real ();
        return;
    }

    const int half = length / 2;
    f [0] = z [0].real ();
    for (int k = 1; k < half; ++ k)
    {
        f [k] = z [k].real ();
        f [half + k] = -z [k].imag ();
    }
    f [half] = z [half].real ();
}

}  // namespace quarn

#endif  // QUARN_FFTREALCOMPLEX_H
