// SPDX-License-Identifier: MIT
// Threads: several at once on one shared object, each with a scratch array
// of its own, on every path and on both sides of the lengths where the
// scalar path's phasors start; and objects of their own through the calls
// without scratch. Every thread must get exactly the results of one thread.
// A program of its own, so that CI can build it under ThreadSanitizer,
// which reports any write the scratch calls make to the shared object.

#include "common.h"

#include <atomic>
#include <thread>
#include <vector>

namespace
{

using namespace qtest;

constexpr int THREADS = 4;
constexpr int ROUNDS = 3;
constexpr int LENGTHS [] = { 16, 1 << 10, 1 << 13, 1 << 14, 1 << 16 };

// The spectrum, then the signal back from it.
template <class T>
std::vector <std::vector <T>> run (const FFTReal <T> &fft, const std::vector <T> &x, T *scratch = nullptr)
{
    const std::vector <T> f = transform (fft, true, x, scratch);
    return { f, transform (fft, false, f, scratch) };
}

// Runs `work (t)` on THREADS threads at once, ROUNDS times each; gives the
// mismatches they counted.
template <class F>
int on_threads (F work)
{
    std::atomic <int> ready { 0 };
    std::atomic <int> mismatches { 0 };
    std::vector <std::thread> threads;
    for (int t = 0; t < THREADS; ++ t)
    {
        threads.emplace_back ([&, t] {
            ++ ready;
            while (ready < THREADS)
            {
                std::this_thread::yield ();
            }
            for (int round = 0; round < ROUNDS; ++ round)
            {
                mismatches += work (t);
            }
        });
    }
    for (std::thread &th : threads)
    {
        th.join ();
    }
    return mismatches;
}

template <class T>
void expect_shared_object_agrees (FFTRealIsa isa)
{
    for (int n : LENGTHS)
    {
        const FFTReal <T> shared (n, isa);
        std::vector <std::vector <T>> inputs;
        std::vector <std::vector <std::vector <T>>> expect;
        for (int t = 0; t < THREADS; ++ t)
        {
            inputs.push_back (random_signal <T> (n, unsigned (n + t)));
            expect.push_back (run (FFTReal <T> (n, isa), inputs.back ()));
        }
        EXPECT_EQ (on_threads ([&] (int t) {
            std::vector <T> scratch (std::size_t (shared.scratch_length ()));
            return int (run (shared, inputs [std::size_t (t)], scratch.data ()) != expect [std::size_t (t)]);
        }), 0) << "n " << n;
    }
}

class SharedObject : public PathTest {};

TEST_P (SharedObject, ScratchCallsOnManyThreadsMatchOneThread)
{
    expect_shared_object_agrees <float> (GetParam ());
    expect_shared_object_agrees <double> (GetParam ());
}

QUARN_INSTANTIATE_PATHS (SharedObject);

// Each thread builds its objects while the others build or run theirs, then
// runs each length in turn.
TEST (Threads, OneObjectPerThreadMatchesOneThread)
{
    std::vector <std::vector <float>> inputs;
    std::vector <std::vector <std::vector <float>>> expect;
    for (int n : LENGTHS)
    {
        inputs.push_back (random_signal <float> (n, unsigned (n)));
        expect.push_back (run (FFTReal <float> (n), inputs.back ()));
    }
    EXPECT_EQ (on_threads ([&] (int) {
        const std::vector <FFTReal <float>> ffts (std::begin (LENGTHS), std::end (LENGTHS));
        int bad = 0;
        for (std::size_t i = 0; i < ffts.size (); ++ i)
        {
            bad += run (ffts [i], inputs [i]) != expect [i];
        }
        return bad;
    }), 0);
}

}  // namespace
