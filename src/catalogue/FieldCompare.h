#pragma once

#include "catalogue/FieldKinds.h"
#include "framework/bufstl_vector.h"

namespace Orbanex {

// Equality and order of catalogue records and messages, field by field in declaration order as
// the fields are stored:
// - integers, decimals (by their raw value, so NMA < NDA < NA < any amount) and enumerations
//   (by number, signed 32-bit) by value; bool false before true;
// - strings by their stored bytes with the NUL included, each byte a signed char, a proper
//   prefix first: an unassigned string (no bytes) is unequal to and less than an assigned empty
//   one (one NUL);
// - lists by count and element for equality, lexicographically by element for order;
// - records held in place by their own operators.
// Each stops at the first field that decides; nothing is allocated.
class FieldCompare {
  public:
    template <class X>
    static bool differs(const X& a, const X& b) {
        if (&a == &b) return false;
        Equal same;
        return !X::fields(same, a, b);
    }

    template <class X>
    static bool less(const X& a, const X& b) {
        if (&a == &b) return false;
        Less order;
        X::fields(order, a, b);
        return order.result;
    }

  private:
    // Goes on while the fields are equal.
    struct Equal {
        template <class K, class T>
        bool operator()(K, const char*, const T& a, const T& b) {
            return a == b;
        }
    };

    // Goes on while the fields are equal; the first that differs decides.
    struct Less {
        bool result = false;

        template <class K, class T>
        bool operator()(K, const char*, const T& a, const T& b) {
            if (a < b) {
                result = true;
                return false;
            }
            return !(b < a);
        }
    };
};

}  // namespace Orbanex
