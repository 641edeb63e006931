// SPDX-License-Identifier: MIT
// The references of the transform tests and the fuzz target: a textbook
// radix-2 FFT in a wider type than the results it judges (double for float,
// long double for double), each twiddle computed directly; errors relative
// to the output's scale; and one way to run either direction.

#ifndef QUARN_TESTS_REFERENCE_H
#define QUARN_TESTS_REFERENCE_H

#include "quarn/FFTReal.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <type_traits>
#include <vector>

namespace qtest
{

// Wide enough that its own rounding stays far below the results' bounds.
template <class T>
using Wide = std::conditional_t <std::is_same <T, float>::value, double, long double>;

// Uniform samples in [-1, 1], reproducible from the seed.
template <class T>
std::vector <T> random_signal (int n, unsigned seed)
{
    std::mt19937 gen (seed);
    std::uniform_real_distribution <double> dist (-1.0, 1.0);
    std::vector <T> x (static_cast <std::size_t> (n));
    std::generate (x.begin (), x.end (), [&] { return static_cast <T> (dist (gen)); });
    return x;
}

// `forward` (fwd) or `backward` of `in`, through the scratch form when given
// a scratch array.
template <class T>
std::vector <T> transform (const quarn::FFTReal <T> &fft, bool fwd, const std::vector <T> &in, T *scratch = nullptr)
{
    std::vector <T> out (in.size ());
    T * const y = out.data ();
    const T * const x = in.data ();
    scratch != nullptr ? (fwd ? fft.forward (y, x, scratch) : fft.backward (y, x, scratch))
                       : (fwd ? fft.forward (y, x) : fft.backward (y, x));
    return out;
}

inline const char * dir_name (bool fwd) { return fwd ? "forward" : "backward"; }

// a[k] = sum a[m] e^(-2 pi i k m / n), in place, by radix-2 stages that
// each write in order (Stockham's): no bit reversal.
template <class R>
void complex_dft (std::vector <std::complex <R>> &a)
{
    const R pi = std::acos (R (-1));
    std::vector <std::complex <R>> b (a.size ());
    for (std::size_t half = a.size () / 2, s = 1; half >= 1; half /= 2, s *= 2)
    {
        for (std::size_t p = 0; p < half; ++ p)
        {
            const std::complex <R> w = std::polar (R (1), -pi * R (p) / R (half));
            for (std::size_t q = 0; q < s; ++ q)
            {
                const std::complex <R> u = a [q + s * p], v = a [q + s * (p + half)];
                b [q + s * 2 * p] = u + v;
                b [q + s * (2 * p + 1)] = (u - v) * w;
            }
        }
        a.swap (b);
    }
}

// The packed spectrum of x (fwd): f[k] = Re X[k], f[n/2 + k] = -Im X[k]. Or
// the unscaled inverse of a packed spectrum, which may be any n reals: the
// Hermitian spectrum, conjugated, through the forward DFT.
template <class R, class T>
std::vector <R> reference (bool fwd, const T *x, int n)
{
    const int h = n / 2;
    std::vector <std::complex <R>> a (x, x + n);
    for (int k = 1; ! fwd && k <= h; ++ k)
    {
        a [k] = { R (x [k]), k < h ? R (x [h + k]) : R (0) };
        a [n - k] = std::conj (a [k]);
    }
    complex_dft (a);
    std::vector <R> f (a.size ());
    for (int k = 0; k < n; ++ k)
    {
        f [k] = ! fwd || k <= h ? a [k].real () : -a [k - h].imag ();
    }
    return f;
}

// The 2-norm of the error over the reference's, and the largest error over
// the largest reference magnitude.
struct Error
{
    double rms = 0;
    double max = 0;
};

template <class T, class R>
Error compare (const T *y, const std::vector <R> &ref)
{
    long double err2 = 0, ref2 = 0, err_max = 0, ref_max = 0;
    for (std::size_t i = 0; i < ref.size (); ++ i)
    {
        const long double e = std::fabs ((long double) y [i] - (long double) ref [i]);
        err2 += e * e;
        ref2 += (long double) ref [i] * ref [i];
        err_max = std::max (err_max, e);
        ref_max = std::max (ref_max, std::fabs ((long double) ref [i]));
    }
    return { double (ref2 > 0 ? std::sqrt (err2 / ref2) : std::sqrt (err2)),
             double (ref_max > 0 ? err_max / ref_max : err_max) };
}

}  // namespace qtest

#endif  // QUARN_TESTS_REFERENCE_H
