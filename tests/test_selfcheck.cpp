// Self-checks without a reference transform (linearity, impulse responses,
// time shifts) for forward and backward, every length up to 2^17; the
// longer ones, 2^18 to 2^22, are in the opt-in long tests.

#include "quarn/FFTReal.h"
#include "selfcheck.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace
{

using quarn::FFTReal;
using qtest::Dir;

// The bound: 2 u per radix-2 stage (u = 2^-24), both for the 2-norm of the
// error and for its largest element, relative to the output's scale. The
// transform stays below 0.5 u per stage; float phasors or a wrong twiddle
// would be off by 1e-3 and more.
constexpr double PER_STAGE = 2;

TEST (SelfCheck, LinearityImpulseShiftUpTo2p17)
{
    double worst = 0;
    for (int bits = 0; bits <= 17; ++ bits)
    {
        const int n = 1 << bits;
        const FFTReal <float> fft (n);
        const double bound = qtest::stage_bound (n, PER_STAGE);
        for (Dir dir : { Dir::FORWARD, Dir::BACKWARD })
        {
            const qtest::SelfCheckReport r = qtest::self_check (fft, dir, n, 17 + bits);
            const char *what = qtest::dir_name (dir);
            EXPECT_LT (r.linearity.rel2, bound) << what << " n " << n;
            EXPECT_LT (r.linearity.max_rel, bound) << what << " n " << n;
            EXPECT_LT (r.impulse.rel2, bound) << what << " n " << n;
            EXPECT_LT (r.impulse.max_rel, bound) << what << " n " << n;
            EXPECT_LT (r.shift.rel2, bound) << what << " n " << n;
            EXPECT_LT (r.shift.max_rel, bound) << what << " n " << n;
            for (const qtest::Deviation &d : { r.linearity, r.impulse, r.shift })
            {
                worst = std::max ({ worst, d.rel2 / bound, d.max_rel / bound });
            }
        }
    }
    std::printf ("self-checks up to 2^17: worst error %.2f of the bound (%g u per stage)\n",
                 worst, PER_STAGE);
}

}  // namespace
