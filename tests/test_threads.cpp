// SPDX-License-Identifier: MIT
// Threads on every path, either side of the scalar path's first phasor
// length: on one shared object through the scratch calls, and each on an
// object of its own, built as the others run, through the plain calls; each
// must get one thread's results bit for bit. Built alone under
// ThreadSanitizer by CI, which reports any write to the shared object.

#include "common.h"

#include <latch>
#include <thread>
#include <vector>

namespace
{

using namespace qtest;

constexpr int THREADS = 4;
constexpr int ROUNDS = 3;

// The spectrum, then the signal back from it.
template <class T>
std::vector <std::vector <T>> run (const FFTReal <T> &fft, const std::vector <T> &x, T *scratch = nullptr)
{
    const std::vector <T> f = transform (fft, true, x, scratch);
    return { f, transform (fft, false, f, scratch) };
}

template <class T>
void expect_threads_agree (FFTRealIsa isa)
{
    for (int n : { 16, 1 << 10, 1 << 13, 1 << 14, 1 << 16 })
    {
        const FFTReal <T> shared (n, isa);
        std::vector <std::vector <T>> inputs;
        std::vector <std::vector <std::vector <T>>> expect;
        for (int t = 0; t < THREADS; ++ t)
        {
            inputs.push_back (random_signal <T> (n, unsigned (n + t)));
            expect.push_back (run (FFTReal <T> (n, isa), inputs.back ()));
        }
        std::vector <int> mismatches (THREADS, 0);
        std::latch start (THREADS);
        std::vector <std::jthread> threads;
        for (std::size_t t = 0; t < THREADS; ++ t)
        {
            threads.emplace_back ([&, t] {
                start.arrive_and_wait ();
                const FFTReal <T> own (n, isa);
                std::vector <T> scratch (std::size_t (shared.scratch_length ()));
                for (int round = 0; round < ROUNDS; ++ round)
                {
                    mismatches [t] += (run (shared, inputs [t], scratch.data ()) != expect [t])
                                      + (run (own, inputs [t]) != expect [t]);
                }
            });
        }
        threads.clear ();
        EXPECT_EQ (mismatches, std::vector <int> (THREADS, 0)) << "n " << n;
    }
}

QUARN_PATH_SUITE (SharedObject);

TEST_P (SharedObject, ScratchCallsOnManyThreadsMatchOneThread)
{
    expect_threads_agree <float> (GetParam ());
    expect_threads_agree <double> (GetParam ());
}

}  // namespace
