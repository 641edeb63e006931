// SPDX-License-Identifier: MIT
// FFTReal: the tables and passes of the scalar path. Every CPU without a
// vector path runs them, and the vector paths are tested against them. They
// share their butterflies and stages with the vector kernels
// (butterfly.h), on the one-lane vocabulary One.

#ifndef QUARN_DETAIL_FFTREALSCALAR_H
#define QUARN_DETAIL_FFTREALSCALAR_H

#include "quarn/FFTReal.h"
#include "quarn/detail/butterfly.h"

#include <cassert>
#include <cmath>

namespace quarn
{

template <class DT>
const int * FFTReal<DT>::bitrev_ptr () const
{
    return &_bitrev_table [0];
}



template <class DT>
int FFTReal<DT>::cos_level_index (int level)
{
    assert (level >= 3);
    return detail::cos_level_index (level);
}



template <class DT>
const typename FFTReal<DT>::DataType * FFTReal<DT>::cos_level_ptr (int level) const
{
    assert (level >= 3);
    return &_cos_table [cos_level_index (level)];
}



template <class DT>
void FFTReal<DT>::build_bitrev_table ()
{
    const int n = 1 << _nbr_bits;
    _bitrev_table.reallocate (n);
    _bitrev_table [0] = 0;

    // r counts upwards in bit-reversed order: add 1 at the top bit and carry
    // downwards.
    int r = 0;
    for (int c = 1; c < n; ++ c)
    {
        int bit = n >> 1;
        while (((r ^= bit) & bit) == 0)
        {
            bit >>= 1;
        }
        _bitrev_table [c] = r;
    }
}



template <class DT>
void FFTReal<DT>::build_cos_table ()
{
    if (_nbr_bits > 3)
    {
        _cos_table.reallocate ((1 << (_nbr_bits - 1)) - 4);
        detail::build_cos_levels (&_cos_table [0], 3, _nbr_bits - 1);
    }
}



template <class DT>
void FFTReal<DT>::build_osc_bank ()
{
    const int count = _nbr_bits - TRIGO_BD_LIMIT;
    if (count > 0)
    {
        _osc_bank.reallocate (count);
        for (int k = 0; k < count; ++ k)
        {
            _osc_bank [k].set_increment (
                std::ldexp (0.5 * PI, -(TRIGO_BD_LIMIT + k)));
        }
    }
}



// ---- Forward -----------------------------------------------------------------

template <class DT>
void FFTReal<DT>::transform_general (DataType f [], const DataType x [], DataType buf []) const
{
    assert (f != 0);
    assert (f != buf);
    assert (x != 0);
    assert (x != buf);
    assert (x != f);

    // The passes alternate between f and the buffer; start so that the last
    // one lands in f.
    DataType * sf;
    DataType * df;
    if ((_nbr_bits & 1) != 0)
    {
        df = buf;
        sf = f;
    }
    else
    {
        df = f;
        sf = buf;
    }

    pass_1_2 (df, x);
    pass_3 (sf, df);
    for (int pass = 3; pass < _nbr_bits; ++ pass)
    {
        pass_n (df, sf, pass);
        DataType * const tmp = df;
        df = sf;
        sf = tmp;
    }
}



template <class DT>
void FFTReal<DT>::pass_1_2 (DataType df [], const DataType x []) const
{
    assert (df != 0);
    assert (x != 0);
    assert (df != x);

    // Stages 1 and 2 together, reading x in bit-reversed order so that no
    // separate permutation is needed.
    using E = detail::One <DataType>;
    const int * const bitrev = bitrev_ptr ();
    int c = 0;
    do
    {
        detail::stages_1_2 ([=] (int j) { return E { x [bitrev [c + j]] }; },
                            [=] (int j, E v) { df [c + j] = v.v; });
        c += 4;
    }
    while (c < _length);
}



template <class DT>
void FFTReal<DT>::pass_3 (DataType df [], const DataType sf []) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);

    using E = detail::One <DataType>;
    const E k { static_cast <DataType> (SQRT2 * 0.5) };
    int c = 0;
    do
    {
        detail::stage_3 ([=] (int j) { return E { sf [c + j] }; },
                         [=] (int j, E v) { df [c + j] = v.v; }, k);
        c += 8;
    }
    while (c < _length);
}



template <class DT>
void FFTReal<DT>::pass_n (DataType df [], const DataType sf [], int pass) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);
    assert (pass >= 3);
    assert (pass < _nbr_bits);

    if (pass > TRIGO_BD_LIMIT)
    {
        pass_n_osc (df, sf, pass);
    }
    else
    {
        pass_n_table (df, sf, pass);
    }
}



// cos (i pi / n) from the table; the sine is the mirrored cosine entry.
template <class DT>
class FFTReal<DT>::TableTwiddles
{
public:
    TableTwiddles (const DataType *tab, int h) : _tab (tab), _h (h) {}

    void start_block () {}

    void next (detail::Idx i, detail::One <DataType> &c, detail::One <DataType> &s) const
    {
        c.v = _tab [i];
        s.v = _tab [_h - i];
    }

private:
    const DataType * _tab;
    detail::Idx _h;
};

// From a copy of the pass's phasor, so that a transform writes nothing of
// the object's: each block restarts it at angle 0, so rounding accumulates
// over at most n/2 steps and no result depends on an earlier block.
template <class DT>
class FFTReal<DT>::OscTwiddles
{
public:
    explicit OscTwiddles (const PhaseRotor &osc) : _osc (osc) {}

    void start_block () { _osc.reset (); }

    void next (detail::Idx /* i */, detail::One <DataType> &c, detail::One <DataType> &s)
    {
        _osc.advance ();
        c.v = static_cast <DataType> (_osc.cur_cos ());
        s.v = static_cast <DataType> (_osc.cur_sin ());
    }

private:
    PhaseRotor _osc;
};



template <class DT>
void FFTReal<DT>::pass_n_table (DataType df [], const DataType sf [], int pass) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);
    assert (pass >= 3);
    assert (pass < _nbr_bits);

    TableTwiddles tw (cos_level_ptr (pass), 1 << (pass - 1));
    detail::merge_blocks <detail::One <DataType>> (df, sf, _length, detail::Idx (1) << pass, tw);
}



template <class DT>
void FFTReal<DT>::pass_n_osc (DataType df [], const DataType sf [], int pass) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);
    assert (pass > TRIGO_BD_LIMIT);
    assert (pass < _nbr_bits);

    OscTwiddles tw (_osc_bank [pass - (TRIGO_BD_LIMIT + 1)]);
    detail::merge_blocks <detail::One <DataType>> (df, sf, _length, detail::Idx (1) << pass, tw);
}



// ---- Inverse -----------------------------------------------------------------
// Each inverse pass undoes one forward pass and doubles its data, so that
// the whole inverse is the unscaled one: N times the input.

template <class DT>
void FFTReal<DT>::transform_general_inv (DataType x [], const DataType f [], DataType buf []) const
{
    assert (f != 0);
    assert (f != buf);
    assert (x != 0);
    assert (x != buf);
    assert (x != f);

    // The last inverse pass scatters into x in bit-reversed order and so must
    // read the buffer; the passes before it alternate between x and the
    // buffer, starting so that the one before the last writes the buffer.
    DataType * df;
    DataType * sf;
    if ((_nbr_bits & 1) != 0)
    {
        df = buf;
        sf = x;
    }
    else
    {
        df = x;
        sf = buf;
    }

    const DataType * src = f;
    for (int pass = _nbr_bits - 1; pass >= 3; -- pass)
    {
        pass_n_inv (df, src, pass);
        src = df;
        DataType * const tmp = df;
        df = sf;
        sf = tmp;
    }
    pass_3_inv (df, src);
    pass_1_2_inv (x, df);
}



template <class DT>
void FFTReal<DT>::pass_n_inv (DataType df [], const DataType sf [], int pass) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);
    assert (pass >= 3);
    assert (pass < _nbr_bits);

    using E = detail::One <DataType>;
    if (pass > TRIGO_BD_LIMIT)
    {
        OscTwiddles tw (_osc_bank [pass - (TRIGO_BD_LIMIT + 1)]);
        detail::split_blocks <E> (df, sf, _length, detail::Idx (1) << pass, tw);
    }
    else
    {
        TableTwiddles tw (cos_level_ptr (pass), 1 << (pass - 1));
        detail::split_blocks <E> (df, sf, _length, detail::Idx (1) << pass, tw);
    }
}



template <class DT>
void FFTReal<DT>::pass_3_inv (DataType df [], const DataType sf []) const
{
    assert (df != 0);
    assert (sf != 0);
    assert (df != sf);

    using E = detail::One <DataType>;
    const E k { static_cast <DataType> (SQRT2 * 0.5) };
    int c = 0;
    do
    {
        detail::stage_3_inv ([=] (int j) { return E { sf [c + j] }; },
                             [=] (int j, E v) { df [c + j] = v.v; }, k);
        c += 8;
    }
    while (c < _length);
}



template <class DT>
void FFTReal<DT>::pass_1_2_inv (DataType x [], const DataType sf []) const
{
    assert (x != 0);
    assert (sf != 0);
    assert (x != sf);

    // Twice stages 2 then 1 undone, scattered to x in bit-reversed order.
    using E = detail::One <DataType>;
    const int * const bitrev = bitrev_ptr ();
    int c = 0;
    do
    {
        detail::stages_1_2_inv ([=] (int j) { return E { sf [c + j] }; },
                                [=] (int j, E v) { x [bitrev [c + j]] = v.v; });
        c += 4;
    }
    while (c < _length);
}

}  // namespace quarn

#endif  // QUARN_DETAIL_FFTREALSCALAR_H
