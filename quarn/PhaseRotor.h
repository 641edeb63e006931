// SPDX-License-Identifier: MIT
// PhaseRotor: a rotating unit phasor, the twiddle source of the scalar
// path's long passes.
//
// The phasor is multiplied by a fixed rotation before each use, so a pass
// needs one record instead of a table; only float transforms use it (finer
// types read the cosine table, see FFTReal.h; the vector paths run phasors
// of their own, W lanes wide, detail/lanes.h). It is kept in double
// precision: rounded to float after every step, the recurrence drifts by
// about 1e-3 over the 2^21 steps of a block at pass 22, and from pass 27 the
// float increment of the sine falls below half a float step and the phasor
// stops turning. In double it stays within 5e-9 of the exact phasor over the
// 2^28 steps of the longest block (2^30 points), well inside float accuracy.

#ifndef QUARN_PHASEROTOR_H
#define QUARN_PHASEROTOR_H

#include <cmath>

namespace quarn
{

class PhaseRotor
{
public:
    // Angle 0, increment 0: advancing leaves the phasor at (1, 0).
    PhaseRotor () = default;

    // Sets the increment angle (radians); the current angle is untouched.
    inline void set_increment (double angle);

    // Rotates the current angle by the increment.
    inline void advance ();

    // Back to angle 0; the increment is kept.
    inline void reset ();

    double cur_cos () const { return _cur_cos; }
    double cur_sin () const { return _cur_sin; }

private:
    double _cur_cos = 1;
    double _cur_sin = 0;
    double _inc_cos = 1;
    double _inc_sin = 0;
};



// ---- Implementation -------------------------------------------------------

void PhaseRotor::set_increment (double angle)
{
    _inc_cos = std::cos (angle);
    _inc_sin = std::sin (angle);
}



void PhaseRotor::advance ()
{
    const double c = _cur_cos;
    const double s = _cur_sin;
    _cur_cos = c * _inc_cos - s * _inc_sin;
    _cur_sin = c * _inc_sin + s * _inc_cos;
}



void PhaseRotor::reset ()
{
    _cur_cos = 1;
    _cur_sin = 0;
}

}  // namespace quarn

#endif  // QUARN_PHASEROTOR_H
