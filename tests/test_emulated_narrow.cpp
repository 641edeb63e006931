// SPDX-License-Identifier: MIT
// The engine on emulated vectors narrower than a cache line (emulated.h):
// 8 and 4 float lanes.

#include "emulated.h"

namespace
{

using namespace qtest;

TEST (EmulatedLanes, NarrowerVectorsAgreeWithScalarPath)
{
    expect_engine_agrees <Emu <float, 8>> ();   // half-line vectors: the inverse first kernel staged
    expect_engine_agrees <Emu <float, 4>> ();   // forward, 3 stages at 2^5 and 2^6, 5 from 2^7
    expect_engine_agrees <Emu <float, 8>> (9);  // phasors below 2^17 too (the other file says why)
}

}  // namespace
