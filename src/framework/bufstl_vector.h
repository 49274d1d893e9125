#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "common/OXAssert.h"
#include "framework/alloc_proxy.h"

namespace bufstl {

// The vector core of the block containers: the std::vector algorithms over an alloc_proxy, so
// that every element array comes from the message block the vector is bound to.
//
// Storage is never freed: growth takes a new array from the block and books the old one as
// released; destruction books the array as released. Growth takes size() + max(size(), n)
// elements, capped at the block's whole capacity (max_size()).
//
// Exception guarantees, as for std::vector: growth into new storage and assignment into new
// storage leave the vector as it was when an element copy or the block refuses (the new array
// and the copies built so far are booked as released). An insert into existing free capacity
// that fails while building elements destroys the ones it built, so the vector holds what it
// held before; one that fails while assigning leaves the vector valid, with the elements
// already assigned in place keeping their new values.
//
// Only bufvector, bufvectox and basic_bufstring are meant to be instantiated; they can only be
// made bound to a block and copied only by assignment, which deep-copies into their own block.
// Not thread-safe.
template <typename T, typename Alloc>
class vector : protected Alloc {
  public:
    typedef T value_type;
    typedef Alloc allocator_type;
    typedef T* pointer;
    typedef const T* const_pointer;
    typedef T& reference;
    typedef const T& const_reference;
    typedef T* iterator;
    typedef const T* const_iterator;
    typedef size_t size_type;
    typedef ptrdiff_t difference_type;

    explicit vector(const allocator_type& a)
        : Alloc(a), _M_start(0), _M_finish(0), _M_end_of_storage(0) {}

    ~vector() {
        _M_destroy(_M_start, _M_finish);
        _M_release();
    }

    vector& operator=(const vector& x);

    iterator begin() { return _M_start; }
    const_iterator begin() const { return _M_start; }
    iterator end() { return _M_finish; }
    const_iterator end() const { return _M_finish; }

    size_type size() const { return static_cast<size_type>(_M_finish - _M_start); }
    size_type capacity() const { return static_cast<size_type>(_M_end_of_storage - _M_start); }
    size_type max_size() const { return _M_proxy().max_size(); }
    bool empty() const { return _M_start == _M_finish; }

    reference operator[](size_type n) { return _M_start[n]; }
    const_reference operator[](size_type n) const { return _M_start[n]; }
    reference front() { return *_M_start; }
    const_reference front() const { return *_M_start; }
    reference back() { return *(_M_finish - 1); }
    const_reference back() const { return *(_M_finish - 1); }

    void insert(iterator position, size_type n, const T& x) { _M_fill_insert(position, n, x); }
    iterator insert(iterator position, const T& x) {
        const size_type at = static_cast<size_type>(position - _M_start);
        _M_fill_insert(position, 1, x);
        return _M_start + at;
    }

    iterator erase(iterator position) { return erase(position, position + 1); }
    iterator erase(iterator first, iterator last) {
        pointer newFinish = std::copy(last, _M_finish, first);
        _M_destroy(newFinish, _M_finish);
        _M_finish = newFinish;
        return first;
    }

    void resize(size_type n, const T& x = T()) {
        if (n < size()) {
            erase(_M_start + n, _M_finish);
        } else {
            _M_fill_insert(_M_finish, n - size(), x);
        }
    }

    void clear() { erase(_M_start, _M_finish); }

  protected:
    vector(const vector&) = delete;

    Alloc& _M_proxy() { return *this; }
    const Alloc& _M_proxy() const { return *this; }

    // Asserts that the vector's storage lies in the block [begin, end]: the end of its elements
    // and the end of its storage are each null or inside.
    void _M_checkbounds(const void* begin, const void* end) const {
        const void* begin_ = _M_finish;
        const void* end_ = _M_end_of_storage;
        OX_ASSERT(begin_ == 0 || (begin <= begin_ && begin_ <= end));
        OX_ASSERT(end_ == 0 || (begin <= end_ && end_ <= end));
    }

    void _M_fill_insert(iterator position, size_type n, const T& x);

    // One element outside the vector, built like an element (so whatever it holds comes from
    // the vector's block and is booked back when it goes) and destroyed at scope end: an empty
    // element (from the block's allocator) or a copy of a value.
    class _Temporary {
      public:
        template <typename Arg>
        _Temporary(Alloc& proxy, Arg& arg) : _proxy(proxy) {
            _proxy.construct(get(), arg);
        }
        ~_Temporary() { _proxy.destroy(get()); }
        _Temporary(const _Temporary&) = delete;
        _Temporary& operator=(const _Temporary&) = delete;
        T* get() { return reinterpret_cast<T*>(&_raw); }

      private:
        Alloc& _proxy;
        typename std::aligned_storage<sizeof(T), alignof(T)>::type _raw;
    };

    pointer _M_start;
    pointer _M_finish;
    pointer _M_end_of_storage;

  private:
    void _M_fill_in_place(iterator position, size_type n, const T& x);

    // Copies of x (or of [first, last)) built in raw storage. If one throws, the copies built
    // so far are destroyed and the exception passes on.
    void _M_uninitialized_fill_n(pointer p, size_type n, const T& x) {
        size_type built = 0;
        try {
            for (; built < n; ++built) _M_proxy().construct(p + built, x);
        } catch (...) {
            _M_destroy(p, p + built);
            throw;
        }
    }
    pointer _M_uninitialized_copy(const_pointer first, const_pointer last, pointer dest) {
        pointer cur = dest;
        try {
            for (; first != last; ++first, ++cur) _M_proxy().construct(cur, *first);
        } catch (...) {
            _M_destroy(dest, cur);
            throw;
        }
        return cur;
    }

    void _M_destroy(pointer first, pointer last) {
        if constexpr (!std::is_trivially_destructible<T>::value) {
            for (; first != last; ++first) _M_proxy().destroy(first);
        }
    }

    // Books the storage as released in the block; the bytes stay where they are.
    void _M_release() {
        if (_M_start != 0) _M_proxy().deallocate(_M_start, capacity());
    }

    bool _M_holds(const T& x) const {
        const std::less<const T*> before;
        return !before(&x, _M_start) && before(&x, _M_finish);
    }
};

template <typename T, typename Alloc>
vector<T, Alloc>& vector<T, Alloc>::operator=(const vector& x) {
    if (&x == this) return *this;
    const size_type xlen = x.size();
    if (xlen > capacity()) {
        pointer fresh = _M_proxy().allocate(xlen);
        try {
            _M_uninitialized_copy(x._M_start, x._M_finish, fresh);
        } catch (...) {
            _M_proxy().deallocate(fresh, xlen);
            throw;
        }
        _M_destroy(_M_start, _M_finish);
        _M_release();
        _M_start = fresh;
        _M_end_of_storage = fresh + xlen;
    } else if (size() >= xlen) {
        pointer rest = std::copy(x._M_start, x._M_finish, _M_start);
        _M_destroy(rest, _M_finish);
    } else {
        std::copy(x._M_start, x._M_start + size(), _M_start);
        _M_finish = _M_uninitialized_copy(x._M_start + size(), x._M_finish, _M_finish);
    }
    _M_finish = _M_start + xlen;
    return *this;
}

template <typename T, typename Alloc>
void vector<T, Alloc>::_M_fill_insert(iterator position, size_type n, const T& x) {
    if (n == 0) return;
    if (static_cast<size_type>(_M_end_of_storage - _M_finish) >= n) {
        if (_M_holds(x)) {
            // x lies inside this vector and would move under the fill: copy it first.
            _Temporary copy(_M_proxy(), x);
            _M_fill_in_place(position, n, *copy.get());
        } else {
            _M_fill_in_place(position, n, x);
        }
        return;
    }

    const size_type oldSize = size();
    if (n > max_size() - oldSize) throw std::length_error("vector::_M_fill_insert");
    size_type len = oldSize + std::max(oldSize, n);
    if (len < oldSize || len > max_size()) len = max_size();

    pointer fresh = len != 0 ? _M_proxy().allocate(len) : 0;
    pointer mid = fresh + (position - _M_start);
    try {
        _M_uninitialized_fill_n(mid, n, x);
        try {
            _M_uninitialized_copy(_M_start, position, fresh);
            try {
                _M_uninitialized_copy(position, _M_finish, mid + n);
            } catch (...) {
                _M_destroy(fresh, mid);
                throw;
            }
        } catch (...) {
            _M_destroy(mid, mid + n);
            throw;
        }
    } catch (...) {
        if (fresh != 0) _M_proxy().deallocate(fresh, len);
        throw;
    }
    _M_destroy(_M_start, _M_finish);
    _M_release();
    _M_start = fresh;
    _M_finish = fresh + oldSize + n;
    _M_end_of_storage = fresh + len;
}

template <typename T, typename Alloc>
void vector<T, Alloc>::_M_fill_in_place(iterator position, size_type n, const T& x) {
    const size_type elemsAfter = static_cast<size_type>(_M_finish - position);
    pointer oldFinish = _M_finish;
    if (elemsAfter > n) {
        _M_uninitialized_copy(oldFinish - n, oldFinish, oldFinish);
        _M_finish += n;
        std::copy_backward(position, oldFinish - n, oldFinish);
        std::fill(position, position + n, x);
    } else {
        pointer copies = oldFinish + (n - elemsAfter);
        _M_uninitialized_fill_n(oldFinish, n - elemsAfter, x);
        try {
            _M_uninitialized_copy(position, oldFinish, copies);
        } catch (...) {
            // The copies of x built behind the end are not elements yet: destroy them, or the
            // vector would keep them as extra elements.
            _M_destroy(oldFinish, copies);
            throw;
        }
        _M_finish = copies + elemsAfter;
        std::fill(position, oldFinish, x);
    }
}

// Same number of elements and pairwise equal elements.
template <typename T>
bool operator==(const vector<T, alloc_proxy<T>>& a, const vector<T, alloc_proxy<T>>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

template <typename T>
bool operator!=(const vector<T, alloc_proxy<T>>& a, const vector<T, alloc_proxy<T>>& b) {
    return !(a == b);
}

// Lexicographic over the stored elements; characters compare as signed char whatever the
// platform's char is, and a proper prefix is less. A bufstring compares with its NUL included.
template <typename T>
bool operator<(const vector<T, alloc_proxy<T>>& a, const vector<T, alloc_proxy<T>>& b) {
    if constexpr (std::is_same<T, char>::value) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(), [](char l, char r) {
                return static_cast<signed char>(l) < static_cast<signed char>(r);
            });
    } else {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
    }
}

}  // namespace bufstl
