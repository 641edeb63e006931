// Allocation behaviour, counted through a replaced global operator new.

#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <atomic>
#include <complex>
#include <cstdlib>
#include <new>
#include <vector>

namespace
{

std::atomic <long> g_allocations { 0 };

}  // namespace

// Both forms are replaced: a sanitizer runtime may serve new[] itself.
void * operator new (std::size_t size)
{
    ++ g_allocations;
    if (void *p = std::malloc (size == 0 ? 1 : size))
    {
        return p;
    }
    throw std::bad_alloc ();
}

void * operator new [] (std::size_t size)
{
    return operator new (size);
}

void operator delete (void *p) noexcept { std::free (p); }
void operator delete (void *p, std::size_t) noexcept { std::free (p); }
void operator delete [] (void *p) noexcept { std::free (p); }
void operator delete [] (void *p, std::size_t) noexcept { std::free (p); }

namespace
{

TEST (Allocation, ForwardAllocatesNothing)
{
    for (int bits = 0; bits <= 16; ++ bits)
    {
        const int n = 1 << bits;
        const quarn::FFTReal <float> fft (n);
        const std::vector <float> x = qtest::random_signal (n, 9);
        std::vector <float> f (n);

        const long before = g_allocations;
        fft.forward (f.data (), x.data ());
        fft.forward (f.data (), x.data ());
        EXPECT_EQ (g_allocations - before, 0) << "n " << n;
    }
}

template <class T>
void expect_no_allocation_after_construction ()
{
    for (int bits = 0; bits <= 16; ++ bits)
    {
        const int n = 1 << bits;
        const quarn::FFTReal <T> fft (n);
        std::vector <T> x = qtest::random_signal <T> (n, 9);
        std::vector <T> f (n);
        std::vector <std::complex <T>> z (n / 2 + 1);

        const long before = g_allocations;
        fft.forward (f.data (), x.data ());
        quarn::FFTReal_packed_to_complex (z.data (), f.data (), n);
        quarn::FFTReal_complex_to_packed (f.data (), z.data (), n);
        fft.backward (x.data (), f.data ());
        fft.rescale (x.data ());
        EXPECT_EQ (g_allocations - before, 0) << "n " << n;
    }
}

TEST (Allocation, NothingElseAllocates)
{
    expect_no_allocation_after_construction <float> ();
    expect_no_allocation_after_construction <double> ();
}

TEST (Allocation, ConstructorBuildsItsArraysOnce)
{
    // Work buffer, bit reversal, cosines (from 16), phasors (from 2^13).
    const std::pair <int, long> expect [] = {
        { 1, 2 }, { 8, 2 }, { 16, 3 }, { 1 << 12, 3 }, { 1 << 13, 4 }, { 1 << 16, 4 } };
    for (const auto &e : expect)
    {
        const long before = g_allocations;
        const quarn::FFTReal <float> fft (e.first);
        EXPECT_EQ (g_allocations - before, e.second) << "n " << e.first;
    }

    // double reads the cosine table at every pass: no phasor bank.
    const std::pair <int, long> expect_double [] = {
        { 1, 2 }, { 16, 3 }, { 1 << 13, 3 }, { 1 << 16, 3 } };
    for (const auto &e : expect_double)
    {
        const long before = g_allocations;
        const quarn::FFTReal <double> fft (e.first);
        EXPECT_EQ (g_allocations - before, e.second) << "double, n " << e.first;
    }
}

}  // namespace
