// SPDX-License-Identifier: MIT
// FFTReal: the free functions, the object's life (tables, moves) and the
// entry points, which send each call to the vector kernels chosen for the
// length or to the scalar passes (FFTRealScalar.h).

#ifndef QUARN_DETAIL_FFTREALIMPL_H
#define QUARN_DETAIL_FFTREALIMPL_H

#include "quarn/FFTReal.h"

#include <cassert>
#include <cmath>
#include <utility>

namespace quarn
{

const char * FFTReal_isa_name (FFTRealIsa isa)
{
    switch (isa)
    {
    case FFTRealIsa::AUTO: return "AUTO";
    case FFTRealIsa::SCALAR: return "SCALAR";
    case FFTRealIsa::SSE2: return "SSE2";
    case FFTRealIsa::AVX2: return "AVX2";
    case FFTRealIsa::AVX512: return "AVX512";
    case FFTRealIsa::NEON: return "NEON";
    }
    return "?";
}

bool FFTReal_is_pow2 (int x)
{
    // Always checked: a length below 1 must be refused before anything,
    // including FFTReal_ceil_log2, depends on it.
    QUARN_CHECK (x > 0);
    return ((x & -x) == x);
}

int FFTReal_ceil_log2 (int x)
{
    assert (x >= 1);
    int p = 0;
    unsigned int v = static_cast <unsigned int> (x - 1);
    while ((v & ~0xFFFFu) != 0)
    {
        p += 16;
        v >>= 16;
    }
    while ((v & ~0xFu) != 0)
    {
        p += 4;
        v >>= 4;
    }
    while (v > 0)
    {
        ++ p;
        v >>= 1;
    }
    return p;
}

constexpr bool FFTReal_is_valid_length (std::int64_t n)
{
    return n >= 1 && n <= (std::int64_t (1) << 30) && (n & (n - 1)) == 0;
}

namespace detail
{

// A length of another integer type as int, checked whole first (in every
// build). Unsigned values of 2^63 and more are negative as int64_t: refused.
template <class I>
int narrow_length (I n)
{
    const std::int64_t length = static_cast <std::int64_t> (n);
    QUARN_CHECK (FFTReal_is_valid_length (length));
    return static_cast <int> (length);
}

}  // namespace detail



template <class DT>
FFTReal<DT>::FFTReal (int length)
:   FFTReal (length, FFTRealIsa::AUTO)
{
}



template <class DT>
template <class I, std::enable_if_t <std::is_integral <I>::value
                                     && ! std::is_same <I, int>::value
                                     && ! std::is_same <I, bool>::value, int>>
FFTReal<DT>::FFTReal (I length, FFTRealIsa isa)
:   FFTReal (detail::narrow_length (length), isa)
{
}



template <class DT>
FFTReal<DT>::FFTReal (int length, FFTRealIsa isa)
:   _length (length)
{
    // Every array waits for these checks, in every build: a wrong length
    // would size the tables inconsistently with the passes.
    QUARN_CHECK (FFTReal_is_pow2 (length));
    _nbr_bits = FFTReal_ceil_log2 (length);
    QUARN_CHECK (_nbr_bits <= MAX_BIT_DEPTH);

    // Each path builds only the tables it reads.
    if (isa != FFTRealIsa::SCALAR)
    {
        _kernels = detail::select_kernels <DataType> (isa, _nbr_bits);
    }
    if (_kernels.forward != nullptr)
    {
        _vector_plan = detail::VectorPlan <DataType> (_kernels, _nbr_bits);
        _work_buffer.reallocate (scratch_length ());
    }
    else
    {
        build_bitrev_table ();
        build_cos_table ();
        _work_buffer.reallocate (scratch_length ());
        build_osc_bank ();
    }
}



template <class DT>
FFTReal<DT>::FFTReal (FFTReal &&other) noexcept
:   _length (std::exchange (other._length, 0)),
    _nbr_bits (std::exchange (other._nbr_bits, 0)),
    _bitrev_table (std::move (other._bitrev_table)),
    _cos_table (std::move (other._cos_table)),
    _work_buffer (std::move (other._work_buffer)),
    _osc_bank (std::move (other._osc_bank)),
    _kernels (std::exchange (other._kernels, {})),
    _vector_plan (std::move (other._vector_plan))
{
}



template <class DT>
FFTReal<DT> & FFTReal<DT>::operator = (FFTReal &&other) noexcept
{
    if (this != &other)
    {
        _length = std::exchange (other._length, 0);
        _nbr_bits = std::exchange (other._nbr_bits, 0);
        _bitrev_table = std::move (other._bitrev_table);
        _cos_table = std::move (other._cos_table);
        _work_buffer = std::move (other._work_buffer);
        _osc_bank = std::move (other._osc_bank);
        _kernels = std::exchange (other._kernels, {});
        _vector_plan = std::move (other._vector_plan);
    }
    return *this;
}



template <class DT>
void FFTReal<DT>::forward (DataType f [], const DataType x []) const
{
    assert (_length > 0);
    assert (f != 0);
    assert (f != use_buffer ());
    assert (x != 0);
    assert (x != use_buffer ());
    assert (x != f);

    run_forward (f, x, use_buffer ());
}



template <class DT>
void FFTReal<DT>::forward (DataType f [], const DataType x [], DataType scratch []) const
{
    assert (_length > 0);
    assert (scratch != 0);
    assert (f != 0);
    assert (f != scratch);
    assert (x != 0);
    assert (x != scratch);
    assert (x != f);

    run_forward (f, x, scratch);
}



template <class DT>
void FFTReal<DT>::backward (DataType x [], const DataType f []) const
{
    assert (_length > 0);
    assert (f != 0);
    assert (f != use_buffer ());
    assert (x != 0);
    assert (x != use_buffer ());
    assert (x != f);

    run_backward (x, f, use_buffer ());
}



template <class DT>
void FFTReal<DT>::backward (DataType x [], const DataType f [], DataType scratch []) const
{
    assert (_length > 0);
    assert (scratch != 0);
    assert (f != 0);
    assert (f != scratch);
    assert (x != 0);
    assert (x != scratch);
    assert (x != f);

    run_backward (x, f, scratch);
}



template <class DT>
void FFTReal<DT>::run_forward (DataType f [], const DataType x [], DataType buf []) const
{
    if (_kernels.forward != nullptr)
    {
        _kernels.forward (_vector_plan.tables (), f, x, buf);
        return;
    }

    switch (_nbr_bits)
    {
    case 0:
        f [0] = x [0];
        break;
    case 1:
        f [0] = x [0] + x [1];
        f [1] = x [0] - x [1];
        break;
    case 2:
    {
        f [1] = x [0] - x [2];
        f [3] = x [1] - x [3];
        const DataType b0 = x [0] + x [2];
        const DataType b2 = x [1] + x [3];
        f [0] = b0 + b2;
        f [2] = b0 - b2;
        break;
    }
    default:
        transform_general (f, x, buf);
        break;
    }
}



template <class DT>
void FFTReal<DT>::run_backward (DataType x [], const DataType f [], DataType buf []) const
{
    if (_kernels.backward != nullptr)
    {
        _kernels.backward (_vector_plan.tables (), x, f, buf);
        return;
    }

    switch (_nbr_bits)
    {
    case 0:
        x [0] = f [0];
        break;
    case 1:
        x [0] = f [0] + f [1];
        x [1] = f [0] - f [1];
        break;
    case 2:
    {
        const DataType b0 = f [0] + f [2];
        const DataType b2 = f [0] - f [2];
        x [0] = b0 + f [1] * 2;
        x [2] = b0 - f [1] * 2;
        x [1] = b2 + f [3] * 2;
        x [3] = b2 - f [3] * 2;
        break;
    }
    default:
        transform_general_inv (x, f, buf);
        break;
    }
}



template <class DT>
void FFTReal<DT>::rescale (DataType x []) const
{
    assert (_length > 0);
    assert (x != 0);
    const DataType mul = DataType (1) / DataType (_length);
    for (int i = 0; i < _length; ++ i)
    {
        x [i] *= mul;
    }
}



template <class DT>
int FFTReal<DT>::length () const
{
    assert (_length > 0);
    return _length;
}



template <class DT>
int FFTReal<DT>::scratch_length () const
{
    assert (_length > 0);
    return (_kernels.forward != nullptr)
        ? _length + int (detail::scratch_slack_bytes (_nbr_bits) / sizeof (DataType))
        : _length;
}



template <class DT>
FFTRealIsa FFTReal<DT>::isa () const
{
    assert (_length > 0);
    return (_kernels.forward != nullptr) ? _kernels.isa : FFTRealIsa::SCALAR;
}



template <class DT>
bool FFTReal<DT>::isa_available (FFTRealIsa isa)
{
    return detail::isa_runs <DataType> (isa);
}



template <class DT>
typename FFTReal<DT>::DataType * FFTReal<DT>::use_buffer () const
{
    return &_work_buffer [0];
}

}  // namespace quarn

#endif  // QUARN_DETAIL_FFTREALIMPL_H
