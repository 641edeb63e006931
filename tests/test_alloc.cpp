// Allocation behaviour, through a replaced global operator new that counts
// the calls and the live blocks and can be told to fail the k-th call.

#include "quarn/FFTReal.h"
#include "quarn/FFTRealComplex.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <atomic>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace
{

std::atomic <long> g_allocations { 0 };   // calls, failed ones included
std::atomic <long> g_live { 0 };          // blocks not yet released
std::atomic <long> g_fail_in { 0 };       // > 0: calls until one fails

void * counted_alloc (std::size_t size, std::size_t align)
{
    ++ g_allocations;
    if (g_fail_in > 0 && -- g_fail_in == 0)
    {
        throw std::bad_alloc ();
    }
    const std::size_t bytes = size == 0 ? 1 : size;
    void *p = align <= alignof (std::max_align_t)
            ? std::malloc (bytes)
            : std::aligned_alloc (align, (bytes + align - 1) / align * align);
    if (p == nullptr)
    {
        throw std::bad_alloc ();
    }
    ++ g_live;
    return p;
}

void counted_free (void *p) noexcept
{
    if (p != nullptr)
    {
        -- g_live;
        std::free (p);
    }
}

// Makes the k-th allocation from now fail (k >= 1); 0 disarms.
void fail_allocation (long k)
{
    g_fail_in = k;
}

}  // namespace

// Every form is replaced: a sanitizer runtime may serve new[] itself, and an
// aligned table would use the aligned forms.
void * operator new (std::size_t size) { return counted_alloc (size, 0); }
void * operator new [] (std::size_t size) { return counted_alloc (size, 0); }
void * operator new (std::size_t size, std::align_val_t a) { return counted_alloc (size, std::size_t (a)); }
void * operator new [] (std::size_t size, std::align_val_t a) { return counted_alloc (size, std::size_t (a)); }
void operator delete (void *p) noexcept { counted_free (p); }
void operator delete (void *p, std::size_t) noexcept { counted_free (p); }
void operator delete [] (void *p) noexcept { counted_free (p); }
void operator delete [] (void *p, std::size_t) noexcept { counted_free (p); }
void operator delete (void *p, std::align_val_t) noexcept { counted_free (p); }
void operator delete (void *p, std::size_t, std::align_val_t) noexcept { counted_free (p); }
void operator delete [] (void *p, std::align_val_t) noexcept { counted_free (p); }
void operator delete [] (void *p, std::size_t, std::align_val_t) noexcept { counted_free (p); }

namespace
{

using quarn::FFTReal;
using quarn::FFTRealIsa;

// Every path this machine runs, the default choice first.
std::vector <FFTRealIsa> paths ()
{
    std::vector <FFTRealIsa> p;
    for (FFTRealIsa isa : { FFTRealIsa::AUTO, FFTRealIsa::SCALAR, FFTRealIsa::SSE2,
                            FFTRealIsa::AVX2, FFTRealIsa::AVX512 })
    {
        if (FFTReal <float>::isa_available (isa))
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
            const FFTReal <float> fft (n, isa);
            const std::vector <float> x = qtest::random_signal (n, 9);
            std::vector <float> f (n);
            std::vector <float> y (n);

            const long before = g_allocations;
            fft.forward (f.data (), x.data ());
            fft.backward (y.data (), f.data ());
            fft.rescale (y.data ());
            EXPECT_EQ (g_allocations - before, 0) << "n " << n << " isa " << int (isa);
        }
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
    // Work buffer, bit reversal, cosines (from 16), phasors (from 2^13), and
    // on the vector paths their twiddles (from 32) and phasor start angles
    // (from 2^14).
    const std::pair <int, long> expect [] = {
        { 1, 2 }, { 8, 2 }, { 16, 3 }, { 1 << 12, 3 }, { 1 << 13, 4 }, { 1 << 14, 4 }, { 1 << 16, 4 } };
    for (FFTRealIsa isa : paths ())
    for (const auto &e : expect)
    {
        const long before = g_allocations;
        const long live = g_live;
        {
            const FFTReal <float> fft (e.first, isa);
            const long vector = (fft.isa () == FFTRealIsa::SCALAR || e.first <= 16) ? 0
                              : (e.first >= (1 << 14)) ? 2 : 1;
            EXPECT_EQ (g_allocations - before, e.second + vector) << "n " << e.first << " isa " << int (isa);
            EXPECT_EQ (g_live - live, e.second + vector) << "n " << e.first << " isa " << int (isa);
        }
        EXPECT_EQ (g_live, live) << "n " << e.first;
    }
}

std::vector <float> spectrum (const FFTReal <float> &fft, int n)
{
    const std::vector <float> x = qtest::random_signal (n, 21);
    std::vector <float> f (n);
    fft.forward (f.data (), x.data ());
    return f;
}

void fail_each_allocation_of_construction (int n)
{
    const long before = g_allocations;
    { const std::unique_ptr <FFTReal <float>> probe (new FFTReal <float> (n)); }
    const long calls = g_allocations - before;
    ASSERT_GE (calls, 3) << "n " << n;   // the object and at least two tables

    std::unique_ptr <FFTReal <float>> held (new FFTReal <float> (8));
    const std::vector <float> held_result = spectrum (*held, 8);
    const long live = g_live;
    for (long k = 1; k <= calls; ++ k)
    {
        bool threw = false;
        fail_allocation (k);
        try
        {
            held.reset (new FFTReal <float> (n));
        }
        catch (const std::bad_alloc &)
        {
            threw = true;
        }
        fail_allocation (0);
        EXPECT_TRUE (threw) << "n " << n << ": allocation " << k << " of " << calls;
        EXPECT_EQ (g_live, live) << "n " << n << ": allocation " << k << " failed, blocks leaked";
        ASSERT_TRUE (held != nullptr);
        EXPECT_EQ (spectrum (*held, 8), held_result) << "n " << n << ", k " << k;
    }

    // One allocation more than it needs: never reached, so it succeeds, and
    // the object is as good as any other.
    fail_allocation (calls + 1);
    held.reset (new FFTReal <float> (n));
    fail_allocation (0);
    const FFTReal <float> other (n);
    const std::vector <float> a = spectrum (*held, n);
    const std::vector <float> b = spectrum (other, n);
    EXPECT_EQ (std::memcmp (a.data (), b.data (), n * sizeof (float)), 0) << "n " << n;
}

// Fail each allocation of a construction in turn, the object's own block
// included (it is made with new): every time std::bad_alloc reaches the
// caller, every block taken so far is given back, and the pointer that was
// to receive the object keeps its old one, which still works.
TEST (AllocationFailure, EveryAllocationOfTheConstructor)
{
    for (int n : { 1, 2, 8, 16, 1 << 12, 1 << 13, 1 << 14, 1 << 16 })
    {
        const long live_at_start = g_live;
        fail_each_allocation_of_construction (n);
        EXPECT_EQ (g_live, live_at_start) << "n " << n;
    }
}

TEST (AllocationFailure, DynArrayReallocateKeepsItsContents)
{
    quarn::DynArray <int> a (5);
    for (int i = 0; i < 5; ++ i)
    {
        a [i] = 10 + i;
    }
    const long live = g_live;
    fail_allocation (1);
    EXPECT_THROW (a.reallocate (1000), std::bad_alloc);
    fail_allocation (0);
    EXPECT_EQ (g_live, live);
    for (int i = 0; i < 5; ++ i)
    {
        EXPECT_EQ (a [i], 10 + i);
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
