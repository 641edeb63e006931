// SPDX-License-Identifier: MIT
// Allocation behaviour, through a replaced global operator new that counts
// the calls and the live blocks and can be told to fail the k-th call.

#include "common.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{

std::atomic <long> g_allocations { 0 };   // calls, failed ones included
std::atomic <long> g_live { 0 };          // blocks not yet released
std::atomic <long> g_fail_in { 0 };       // > 0: calls until one fails

void * counted_alloc (std::size_t size, std::size_t align)
{
    ++ g_allocations;
    const std::size_t a = std::max (align, alignof (std::max_align_t));
    void *p = g_fail_in > 0 && -- g_fail_in == 0
        ? nullptr : std::aligned_alloc (a, (std::max (size, std::size_t (1)) + a - 1) / a * a);
    if (p == nullptr)
    {
        throw std::bad_alloc ();
    }
    ++ g_live;
    return p;
}

void counted_free (void *p) noexcept
{
    g_live -= p != nullptr;
    std::free (p);
}

}  // namespace

// Every form: a sanitizer runtime may serve new[] itself, and an aligned
// table would use the aligned forms.
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

using namespace qtest;

// After construction nothing allocates, on any path, through either form
// of the calls; moving an object allocates nothing either.
template <class T>
void expect_no_allocation (FFTRealIsa isa)
{
    for (int bits = 0; bits <= 16; ++ bits)
    {
        const int n = 1 << bits;
        FFTReal <T> fft (n, isa);
        std::vector <T> x = random_signal <T> (n, 9), f (x.size ()), scratch (std::size_t (fft.scratch_length ()));
        std::vector <std::complex <T>> z (std::size_t (n / 2 + 1));
        const long before = g_allocations;
        fft.forward (f.data (), x.data ());
        fft.forward (f.data (), x.data (), scratch.data ());
        quarn::FFTReal_packed_to_complex (z.data (), f.data (), n);
        quarn::FFTReal_complex_to_packed (f.data (), z.data (), n);
        fft.backward (x.data (), f.data ());
        fft.backward (x.data (), f.data (), scratch.data ());
        fft.rescale (x.data ());
        FFTReal <T> moved (std::move (fft));
        fft = std::move (moved);
        EXPECT_EQ (g_allocations - before, 0) << "n " << n << " isa " << quarn::FFTReal_isa_name (fft.isa ());
    }
}

TEST (Allocation, NoneAfterConstruction)
{
    for (FFTRealIsa isa : ISAS)
    {
        if (FFTReal <float>::isa_available (isa))
        {
            expect_no_allocation <float> (isa);
            expect_no_allocation <double> (isa);
        }
    }
}

// Fail each allocation of a construction in turn, the object's own block
// included: every time std::bad_alloc reaches the caller and every block
// taken so far is given back. On the scalar path and the default one.
TEST (AllocationFailure, EveryAllocationOfTheConstructor)
{
    for (FFTRealIsa isa : { FFTRealIsa::SCALAR, FFTRealIsa::AUTO })
    {
        for (int n : { 1, 2, 8, 16, 1 << 12, 1 << 13, 1 << 14, 1 << 16 })
        {
            const long live = g_live;
            const long before = g_allocations;
            (void) std::make_unique <FFTReal <float>> (n, isa);
            const long calls = g_allocations - before;
            ASSERT_TRUE (g_live == live && calls >= 2) << "n " << n;   // the object and at least its buffer
            for (long k = 1; k <= calls; ++ k)
            {
                g_fail_in = k;
                EXPECT_THROW ((void) std::make_unique <FFTReal <float>> (n, isa), std::bad_alloc) << "n " << n << " k " << k;
                g_fail_in = 0;
                EXPECT_EQ (g_live, live) << "n " << n << ": allocation " << k << " failed, blocks leaked";
            }
        }
    }
}

// A failed reallocation leaves the array as it was.
TEST (AllocationFailure, DynArrayReallocateKeepsItsContents)
{
    quarn::DynArray <int> a (5);
    a [4] = 14;
    const long live = g_live;
    g_fail_in = 1;
    EXPECT_THROW (a.reallocate (1000), std::bad_alloc);
    g_fail_in = 0;
    EXPECT_EQ (g_live, live);
    EXPECT_EQ (a [4], 14);
}

}  // namespace
