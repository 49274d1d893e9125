#pragma once

// Shared helpers of the catalogue tests: objects built in a block, bytes in and out, and a
// filler that sets every field of any generated class through its field list.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "catalogue/FieldKinds.h"
#include "cataloguetest/TypeLists.h"
#include "framework/FastCodec.h"
#include "support/Bytes.h"
#include "support/CodecBytes.h"
#include "support/TestBlock.h"

namespace cattest {

using test_support::Bytes;

// The fixture of every suite that encodes, decodes or names enumeration values or sets up
// message blocks: the catalogue built (enumeration tables, Orbanex::__protocol) for each test.
class CatalogueTest : public ::testing::Test {
  protected:
    void SetUp() override { Orbanex::initialize(); }
    void TearDown() override { Orbanex::finalize(); }
};

// An object of type X built as the first allocation of a heap block of `capacity` bytes, the way
// a message lives in its message block; destroyed with the block.
template <class X>
class InBlock {
  public:
    explicit InBlock(int capacity = 1 << 16) : _block(capacity, "TestMessage", "test") {
        _x = ::new (_block.alloc().allocate(sizeof(X))) X(_block.alloc());
    }
    ~InBlock() {
        if (_x != nullptr) _x->~X();
    }
    InBlock(const InBlock&) = delete;
    InBlock& operator=(const InBlock&) = delete;

    X& operator*() { return *_x; }
    X* operator->() { return _x; }
    const X& operator*() const { return *_x; }
    Tarvik::BufferAllocator& alloc() { return _block.alloc(); }
    const void* begin() const { return _block.begin(); }
    const void* end() const { return _block.end(); }
    bool holds(const void* p) const { return _block.holds(p); }
    // Runs the destructor now (what it books as released shows in alloc()).
    void destroy() {
        _x->~X();
        _x = nullptr;
    }

  private:
    test_support::TestBlock _block;
    X* _x;
};

// The body of x, exactly the bytes written.
template <class X>
Bytes encode(const X& x) {
    return test_support::encode([&](Tarvik::FastCodec& c) { x.write(c); });
}

// Reads x from a heap copy of exactly these bytes (ASan sees a read past them); returns the
// bytes consumed.
template <class X>
size_t decode(const Bytes& bytes, X& x) {
    return test_support::decode(bytes, [&](Tarvik::FastCodec& c) { x.read(c); });
}

// The text of the E that f throws; "no exception" when it returns.
template <class E, class F>
std::string thrown(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "no exception";
}

// Values that differ from field to field and from the start values, drawn in field order: two
// fillers with the same seed give the same value to the n-th field they meet.
class Values {
  public:
    explicit Values(unsigned seed) : _n(seed) {}

    // Large magnitudes of both signs; callers cut to their width.
    int64_t integer() {
        const uint64_t n = next();
        return static_cast<int64_t>((n % 2 ? -1 : 1) *
                                    static_cast<int64_t>(n * 0x9E3779B97ull >> 3));
    }
    int64_t decimal() { return static_cast<int64_t>(next()) * -1234567891; }
    // Always true: false is the start value.
    bool flag() {
        next();
        return true;
    }
    // Named and unnamed values alike; never 0.
    unsigned char enumByte() { return static_cast<unsigned char>(next() % 250 + 1); }
    std::string text() { return "s" + std::to_string(next()); }

  private:
    uint64_t next() { return ++_n; }
    uint64_t _n;
};

// Walks the fields of a catalogue record or message through its field list, into the records
// it holds and the elements of its lists. Derived::list(kind, list) sees a list before its
// elements; Derived::leaf(kind, field) every other field and every int or string element (as
// INT32 or STRING).
template <class Derived>
class Walker {
  public:
    template <class X>
    void walk(X& x) {
        X::fields(*this, x);
    }

    template <class K, class T>
    bool operator()(K kind, const char*, T& x) {
        self().leaf(kind, x);
        return true;
    }
    template <class R>
    bool operator()(Orbanex::Kind::Record, const char*, R& x) {
        walk(x);
        return true;
    }
    template <class L>
    bool operator()(Orbanex::Kind::List kind, const char*, L& x) {
        self().list(kind, x);
        for (auto& e : x) element(e);
        return true;
    }

  private:
    Derived& self() { return static_cast<Derived&>(*this); }
    void element(int& x) { self().leaf(Orbanex::Kind::INT32, x); }
    void element(bufstl::bufstring& x) { self().leaf(Orbanex::Kind::STRING, x); }
    template <class R>
    void element(R& x) {
        walk(x);
    }
};

// Sets every field, lists to two elements, to values that differ from field to field and from
// the start values.
class Filler : public Walker<Filler> {
  public:
    explicit Filler(unsigned seed = 0) : _values(seed) {}

    template <class L>
    void list(Orbanex::Kind::List, L& x) {
        x.resize(2);
    }
    void leaf(Orbanex::Kind::Decimal, int64_t& x) { x = _values.decimal(); }
    void leaf(Orbanex::Kind::Bool, bool& x) { x = _values.flag(); }
    template <class E>
    void leaf(Orbanex::Kind::Enum<E>, typename E::Type& x) {
        x = static_cast<typename E::Type>(_values.enumByte());
    }
    template <class K>
    void leaf(K, bufstl::bufstring& x) {
        x = _values.text();
    }
    template <class K, class T>
    void leaf(K, T& x) {
        static_assert(std::is_integral<T>::value, "an integer kind");
        x = static_cast<T>(_values.integer());
    }

  private:
    Values _values;
};

// Changes the target-th leaf (counting from 0) and counts the leaves.
class Changer : public Walker<Changer> {
  public:
    explicit Changer(int target) : _target(target) {}

    int count() const { return _count; }

    template <class L>
    void list(Orbanex::Kind::List, L&) {}
    template <class K, class T>
    void leaf(K, T& x) {
        if (_count++ != _target) return;
        if constexpr (std::is_same<T, bufstl::bufstring>::value) {
            x.append("+");
        } else if constexpr (std::is_same<T, bool>::value) {
            x = !x;
        } else {
            x = static_cast<T>(static_cast<int64_t>(x) + 1);
        }
    }

  private:
    int _target;
    int _count = 0;
};

// A filled object of type X in a block of its own.
template <class X>
std::unique_ptr<InBlock<X>> filled(unsigned seed) {
    auto x = std::make_unique<InBlock<X>>();
    Filler(seed).walk(**x);
    return x;
}

}  // namespace cattest
