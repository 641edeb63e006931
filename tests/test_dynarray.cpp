// DynArray: storage rules that the transform object relies on.

#include "quarn/DynArray.h"
#include "quarn/PhaseRotor.h"

#include <gtest/gtest.h>

namespace
{

using quarn::DynArray;

TEST (DynArray, ReallocateZeroKeepsEverything)
{
    DynArray <int> a (3);
    a [0] = 10;
    a [1] = 11;
    a [2] = 12;
    const int *block = &a [0];

    a.reallocate (0);

    EXPECT_EQ (&a [0], block);
    EXPECT_EQ (a [0], 10);
    EXPECT_EQ (a [1], 11);
    EXPECT_EQ (a [2], 12);   // length still 3: the last element is reachable
}

TEST (DynArray, ReallocateSameLengthGivesFreshBlock)
{
    DynArray <float> a (4);
    const float *block = &a [0];
    a.reallocate (4);
    EXPECT_NE (&a [0], block);
    a [3] = 1.5f;
    EXPECT_EQ (a [3], 1.5f);

    // Class elements come back default-constructed, not copied.
    DynArray <quarn::PhaseRotor> bank (2);
    bank [1].set_increment (0.25);
    bank [1].advance ();
    ASSERT_NE (bank [1].cur_cos (), 1.0);
    bank.reallocate (2);
    for (int k = 0; k < 2; ++ k)
    {
        bank [k].advance ();   // default increment 0 keeps (1, 0)
        EXPECT_EQ (bank [k].cur_cos (), 1.0);
        EXPECT_EQ (bank [k].cur_sin (), 0.0);
    }
}

TEST (DynArray, ReadOnlyAccessSeesWrites)
{
    DynArray <int> a (2);
    a [0] = 5;
    a [1] = 6;
    const DynArray <int> &ca = a;
    EXPECT_EQ (&ca [1], &a [1]);
    EXPECT_EQ (ca [1], 6);
}

}  // namespace
