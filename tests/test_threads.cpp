// Threads: one object per thread, several threads at once, give exactly the
// results of one thread. A program of its own so that CI can build it under
// ThreadSanitizer.

#include "quarn/FFTReal.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace
{

using quarn::FFTReal;

constexpr int THREADS = 4;
const int LENGTHS [] = { 16, 1024, 1 << 13, 1 << 14, 1 << 16 };

// The spectrum, then the signal back from it, scaled, in one vector.
std::vector <float> run (const FFTReal <float> &fft, const std::vector <float> &x)
{
    const std::size_t n = x.size ();
    std::vector <float> r (2 * n);
    fft.forward (r.data (), x.data ());
    fft.backward (r.data () + n, r.data ());
    fft.rescale (r.data () + n);
    return r;
}

TEST (Threads, OneObjectPerThreadMatchesOneThread)
{
    // The inputs, shared read-only with the workers, and their results on
    // one thread.
    std::vector <std::vector <float>> inputs;
    std::vector <std::vector <float>> expect;
    for (int n : LENGTHS)
    {
        inputs.push_back (qtest::random_signal (n, unsigned (n)));
        expect.push_back (run (FFTReal <float> (n), inputs.back ()));
    }

    // Each worker builds its objects at the same time as the others, then
    // runs each several times, interleaved with the other lengths.
    std::atomic <int> ready { 0 };
    std::atomic <int> mismatches { 0 };
    std::vector <std::thread> workers;
    for (int t = 0; t < THREADS; ++ t)
    {
        workers.emplace_back ([&] {
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
            for (int round = 0; round < 3; ++ round)
            {
                for (std::size_t i = 0; i < ffts.size (); ++ i)
                {
                    mismatches += run (*ffts [i], inputs [i]) != expect [i];
                }
            }
        });
    }
    for (std::thread &w : workers)
    {
        w.join ();
    }
    EXPECT_EQ (mismatches, 0);
}

}  // namespace
