// Threads: one object per thread, several threads at once, give exactly the
// results of one thread. A program of its own so that CI can build it under
// ThreadSanitizer.

#include "quarn/FFTReal.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace
{

using quarn::FFTReal;

constexpr int THREADS = 4;
constexpr int ROUNDS = 3;
const int LENGTHS [] = { 16, 1024, 1 << 13, 1 << 14, 1 << 16 };

// What one thread computes for one length: the spectrum, and the signal
// back from it, scaled.
struct Result
{
    std::vector <float> spectrum;
    std::vector <float> signal;
};

Result run (const FFTReal <float> &fft, const std::vector <float> &x)
{
    const std::size_t n = x.size ();
    Result r { std::vector <float> (n), std::vector <float> (n) };
    fft.forward (r.spectrum.data (), x.data ());
    fft.backward (r.signal.data (), r.spectrum.data ());
    fft.rescale (r.signal.data ());
    return r;
}

bool same (const Result &a, const Result &b)
{
    const std::size_t bytes = a.spectrum.size () * sizeof (float);
    return std::memcmp (a.spectrum.data (), b.spectrum.data (), bytes) == 0
        && std::memcmp (a.signal.data (), b.signal.data (), bytes) == 0;
}

TEST (Threads, OneObjectPerThreadMatchesOneThread)
{
    // Inputs per thread and length, and their results on one thread first.
    // The inputs are shared read-only with the workers.
    std::vector <std::vector <std::vector <float>>> inputs (THREADS);
    std::vector <std::vector <Result>> expect (THREADS);
    for (int t = 0; t < THREADS; ++ t)
    {
        for (int n : LENGTHS)
        {
            inputs [t].push_back (qtest::random_signal (n, unsigned (100 * t + n)));
            const FFTReal <float> fft (n);
            expect [t].push_back (run (fft, inputs [t].back ()));
        }
    }

    // Every worker builds its own objects, all at the same time, and runs
    // each of them several times, interleaved with the other lengths.
    std::atomic <int> ready { 0 };
    std::vector <int> mismatches (THREADS, 0);
    std::vector <std::thread> workers;
    for (int t = 0; t < THREADS; ++ t)
    {
        workers.emplace_back ([&, t] {
            ++ ready;
            while (ready < THREADS)
            {
                std::this_thread::yield ();
            }
            std::vector <std::unique_ptr <FFTReal <float>>> ffts;
            for (int n : LENGTHS)
            {
                ffts.push_back (std::make_unique <FFTReal <float>> (n));
            }
            for (int round = 0; round < ROUNDS; ++ round)
            {
                for (std::size_t i = 0; i < ffts.size (); ++ i)
                {
                    if (! same (run (*ffts [i], inputs [t] [i]), expect [t] [i]))
                    {
                        ++ mismatches [t];
                    }
                }
            }
        });
    }
    for (std::thread &w : workers)
    {
        w.join ();
    }
    for (int t = 0; t < THREADS; ++ t)
    {
        EXPECT_EQ (mismatches [t], 0) << "thread " << t;
    }
}

}  // namespace
