// SPDX-License-Identifier: MIT
// The engine on emulated vectors of a whole cache line (emulated.h): 16
// float lanes, as AVX-512's, and 8 double lanes.

#include "emulated.h"

namespace
{

using namespace qtest;

TEST (EmulatedLanes, LineWideVectorsAgreeWithScalarPath)
{
    expect_engine_agrees <Emu <float, 16>> ();
    expect_engine_agrees <Emu <double, 8>> ();
    // Below 2^17 the library's limit leaves the lane passes of 8 and 16
    // lanes on the tables: a lower one sends them through the phasors and
    // the twiddles they derive for index h - i.
    expect_engine_agrees <Emu <float, 16>> (9);
}

}  // namespace
