// SPDX-License-Identifier: MIT
// DynArray: the engine's owning array.
//
// A heap block whose element count is fixed when the array is created or
// reallocated, with checked element access. It has no growth that keeps
// contents, no copy and no iteration: the transform object sizes each table
// once, fills it and afterwards only indexes it (or walks it with plain
// pointer arithmetic from the address of an element). It moves, so that
// transform objects can.

#ifndef QUARN_DYNARRAY_H
#define QUARN_DYNARRAY_H

#include <cassert>
#include <cstddef>

namespace quarn
{

template <class T>
class DynArray
{
public:
    using DataType = T;

    // The empty array: no block, length 0.
    DynArray () = default;

    // An array of `size` elements (size >= 0; 0 gives the empty array).
    // Elements of scalar types are left uninitialised; class types are
    // default-constructed. Throws std::bad_alloc if the block cannot be had.
    explicit DynArray (int size);

    ~DynArray ();

    DynArray (const DynArray &) = delete;
    DynArray & operator = (const DynArray &) = delete;

    // Takes the other's block; the other is left empty.
    DynArray (DynArray &&other) noexcept;
    DynArray & operator = (DynArray &&other) noexcept;

    // Replaces the storage by a fresh block of `size` elements, contents not
    // copied, even when `size` equals the current length. A `size` of 0
    // leaves the array exactly as it was (block, contents and length).
    // If the allocation throws, the array is unchanged.
    void reallocate (int size);

    // Checked element access (debug builds check 0 <= pos < length).
    const DataType & operator [] (int pos) const;
    DataType & operator [] (int pos);

private:
    DataType * _data = nullptr;   // null exactly when _len is 0
    int _len = 0;
};



// ---- Implementation -------------------------------------------------------

template <class T>
DynArray<T>::DynArray (int size)
{
    assert (size >= 0);
    if (size > 0)
    {
        _data = new DataType [static_cast <std::size_t> (size)];
        _len = size;
    }
}



template <class T>
DynArray<T>::~DynArray ()
{
    delete [] _data;
    _data = nullptr;
    _len = 0;
}



template <class T>
DynArray<T>::DynArray (DynArray &&other) noexcept
:   _data (other._data),
    _len (other._len)
{
    other._data = nullptr;
    other._len = 0;
}



template <class T>
DynArray<T> & DynArray<T>::operator = (DynArray &&other) noexcept
{
    if (this != &other)
    {
        delete [] _data;
        _data = other._data;
        _len = other._len;
        other._data = nullptr;
        other._len = 0;
    }
    return *this;
}



template <class T>
void DynArray<T>::reallocate (int size)
{
    assert (size >= 0);
    if (size > 0)
    {
        // Allocate first: a throwing allocation leaves the array untouched.
        DataType * old_data = _data;
        _data = new DataType [static_cast <std::size_t> (size)];
        _len = size;
        delete [] old_data;
    }
}



template <class T>
const typename DynArray<T>::DataType & DynArray<T>::operator [] (int pos) const
{
    assert (pos >= 0);
    assert (pos < _len);
    return _data [pos];
}



template <class T>
typename DynArray<T>::DataType & DynArray<T>::operator [] (int pos)
{
    assert (pos >= 0);
    assert (pos < _len);
    return _data [pos];
}

}  // namespace quarn

#endif  // QUARN_DYNARRAY_H
