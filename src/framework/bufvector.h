#pragma once

#include "framework/alloc_proxy.h"
#include "framework/bufstl_vector.h"

namespace bufstl {

// Block-allocated vector for elements that hold no block storage of their own (char, int,
// scalar records). New elements are copies of a value: resize(n) fills with T().
template <typename T>
class bufvector : public vector<T, alloc_proxy<T>> {
    typedef vector<T, alloc_proxy<T>> _Base;

  public:
    typedef typename alloc_proxy<T>::buffer_alloc buffer_alloc;

    explicit bufvector(buffer_alloc& alloc) : _Base(alloc_proxy<T>(alloc)) {}

    bufvector& operator=(const bufvector& x) {
        _Base::operator=(x);
        return *this;
    }

    // Appends a default-valued element and returns it.
    T& add_back() {
        this->resize(this->size() + 1);
        return this->back();
    }

    // Asserts that the storage lies in the block [begin, end]; the elements are not looked at.
    void checkbounds(const void* begin, const void* end) const { this->_M_checkbounds(begin, end); }

  private:
    bufvector() = delete;
    bufvector(const bufvector&) = delete;
};

// Block-allocated vector for elements that hold block storage (strings, records with strings or
// lists): every element is built bound to the vector's block, so copies land in that block.
template <typename T>
class bufvectox : public vector<T, alloc_proxy<T>> {
    typedef vector<T, alloc_proxy<T>> _Base;

  public:
    typedef typename alloc_proxy<T>::buffer_alloc buffer_alloc;
    typedef typename _Base::size_type size_type;

    explicit bufvectox(buffer_alloc& alloc) : _Base(alloc_proxy<T>(alloc)) {}

    bufvectox& operator=(const bufvectox& x) {
        _Base::operator=(x);
        return *this;
    }

    // Shrinking destroys the elements past n and keeps the storage; growing appends copies of
    // an empty element built with the vector's block.
    void resize(size_type n) {
        if (n < this->size()) {
            this->erase(this->_M_start + n, this->_M_finish);
            return;
        }
        if (n == this->size()) return;
        typename _Base::_Temporary empty(this->_M_proxy(), this->_M_proxy().get_init());
        this->_M_fill_insert(this->_M_finish, n - this->size(), *empty.get());
    }

    // Appends an empty element and returns it.
    T& add_back() {
        resize(this->size() + 1);
        return this->back();
    }

    void push_back(const T& x) { this->_M_fill_insert(this->_M_finish, 1, x); }

    // Asserts that the storage lies in the block [begin, end], then checks every element.
    void checkbounds(const void* begin, const void* end) const {
        this->_M_checkbounds(begin, end);
        for (const T& element : *this) element.checkbounds(begin, end);
    }

  private:
    bufvectox() = delete;
    bufvectox(const bufvectox&) = delete;
};

}  // namespace bufstl
