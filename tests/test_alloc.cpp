// Allocation behaviour, counted through a replaced global operator new.

#include "quarn/FFTReal.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <atomic>
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

using quarn::FFTRealIsa;

// Every path this machine runs, and the default choice.
std::vector <FFTRealIsa> paths ()
{
    std::vector <FFTRealIsa> p;
    for (FFTRealIsa isa : { FFTRealIsa::AUTO, FFTRealIsa::SCALAR, FFTRealIsa::SSE2,
                            FFTRealIsa::AVX2, FFTRealIsa::AVX512 })
    {
        if (quarn::FFTReal <float>::isa_available (isa))
        {
            p.push_back (isa);
        }
    }
    return p;
}

TEST (Allocation, ForwardAndBackwardAllocateNothing)
{
    for (FFTRealIsa isa : paths ())
    {
        for (int bits = 0; bits <= 16; ++ bits)
        {
            const int n = 1 << bits;
            const quarn::FFTReal <float> fft (n, isa);
            const std::vector <float> x = qtest::random_signal (n, 9);
            std::vector <float> f (n);
            std::vector <float> y (n);

            const long before = g_allocations;
            fft.forward (f.data (), x.data ());
            fft.forward (f.data (), x.data ());
            fft.backward (y.data (), f.data ());
            EXPECT_EQ (g_allocations - before, 0) << "n " << n << " isa " << int (isa);
        }
    }
}

TEST (Allocation, ConstructorBuildsItsArraysOnce)
{
    // Work buffer, bit reversal, cosines (from 16), phasors (from 2^13), and
    // on the vector paths their twiddles and phasor start angles (from 2^14).
    const std::pair <int, long> expect [] = {
        { 1, 2 }, { 8, 2 }, { 16, 3 }, { 1 << 12, 3 }, { 1 << 13, 4 }, { 1 << 14, 4 }, { 1 << 16, 4 } };
    for (FFTRealIsa isa : paths ())
    {
        for (const auto &e : expect)
        {
            const long before = g_allocations;
            const quarn::FFTReal <float> fft (e.first, isa);
            const long vector_tables = (fft.isa () == FFTRealIsa::SCALAR || e.first <= 16) ? 0
                                     : (e.first >= (1 << 14)) ? 2 : 1;
            EXPECT_EQ (g_allocations - before, e.second + vector_tables)
                << "n " << e.first << " isa " << int (isa);
        }
    }
}

}  // namespace
