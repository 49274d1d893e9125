#pragma once

#include <cstdint>
#include <set>

namespace ZURAV {

// The order ids of one login and the set of those still live.
//
// An id is the session id in the bits from `shiftbits` upward, or-ed with a counter of
// `shiftbits` bits that starts at 0 and wraps: after 2^shiftbits ids the ids repeat (no id is
// skipped because it is still live). The session uses 40 bits.
//
// Ids are computed on the unsigned 64-bit pattern, so a negative or large session id gives the
// same bits as a plain shift would, without signed overflow; bits shifted past bit 63 are lost.
//
// Not thread-safe: the session calls it under its send lock.
class IdAllocator {
  public:
    typedef int64_t id_type;

    // shiftbits 0 or less: no counter, every id is the session id itself. Throws
    // std::invalid_argument for 63 or more, where the counter would leave no bit for the session.
    IdAllocator(id_type sessionID, short shiftbits);

    // The next id, made live (an id live already stays live once).
    id_type allocate();
    bool contains(id_type id) const;
    // Nothing happens for an id that is not live.
    void remove(id_type id);

  private:
    id_type _sessionID;  // already shifted into place
    short _shiftbits;
    id_type _mask;    // the low _shiftbits bits
    id_type _nextID;  // the counter value of the next id
    std::set<id_type> _allocated;
};

}  // namespace ZURAV
