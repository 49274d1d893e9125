#pragma once

#include "catalogue/FieldKinds.h"

namespace Orbanex {

// The bounds check of a catalogue record or message after its own address: every string and
// list must keep its storage inside the block [begin, end] (the container's own assertions),
// the elements of a bufvectox and every record held in place checked as well. Scalar fields
// need nothing. A failure stops the program: storage outside its block is a broken invariant.
class FieldBounds {
  public:
    template <class X>
    static void check(const X& x, const void* begin, const void* end) {
        Checker c{begin, end};
        X::fields(c, x);
    }

  private:
    struct Checker {
        const void* begin;
        const void* end;

        template <class T>
        bool operator()(Kind::String, const char*, const T& x) {
            return checked(x);
        }
        template <class T>
        bool operator()(Kind::CryptString, const char*, const T& x) {
            return checked(x);
        }
        template <class T>
        bool operator()(Kind::FixedString, const char*, const T& x) {
            return checked(x);
        }
        template <class T>
        bool operator()(Kind::List, const char*, const T& x) {
            return checked(x);
        }
        template <class T>
        bool operator()(Kind::Record, const char*, const T& x) {
            return checked(x);
        }
        template <class K, class T>
        bool operator()(K, const char*, const T&) {
            return true;
        }

        template <class T>
        bool checked(const T& x) {
            x.checkbounds(begin, end);
            return true;
        }
    };
};

}  // namespace Orbanex
