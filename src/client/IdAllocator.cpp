#include "client/IdAllocator.h"

#include <stdexcept>

namespace ZURAV {

namespace {

// Same bit pattern, no signed overflow or shift of a negative value.
uint64_t bits(IdAllocator::id_type v) { return static_cast<uint64_t>(v); }
IdAllocator::id_type fromBits(uint64_t v) { return static_cast<IdAllocator::id_type>(v); }

}  // namespace

IdAllocator::IdAllocator(id_type sessionID, short shiftbits)
    : _sessionID(0), _shiftbits(shiftbits), _mask(0), _nextID(0) {
    // A shift of 64 or more is undefined, and one of 63 leaves the session id a single bit.
    if (shiftbits >= 63) {
        throw std::invalid_argument("IdAllocator: a counter of 63 bits or more is not allowed");
    }
    const int shift = shiftbits > 0 ? shiftbits : 0;
    _sessionID = fromBits(bits(sessionID) << shift);
    _mask = fromBits((uint64_t(1) << shift) - 1);
}

IdAllocator::id_type IdAllocator::allocate() {
    const id_type id = fromBits(bits(_nextID) | bits(_sessionID));
    _allocated.insert(id);
    _nextID = fromBits((bits(_nextID) + 1) & bits(_mask));
    return id;
}

bool IdAllocator::contains(id_type id) const { return _allocated.count(id) != 0; }

void IdAllocator::remove(id_type id) { _allocated.erase(id); }

}  // namespace ZURAV
