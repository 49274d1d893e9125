#include "framework/BufferAllocator.h"

#include <ostream>
#include <stdexcept>
#include <string>

#include "common/OXAssert.h"

namespace Tarvik {

namespace {

// A refused request moves the end by its size; the move stops here so that offsets and
// remaining() stay representable whatever was asked for.
constexpr size_t MAX_OFFSET = static_cast<size_t>(PTRDIFF_MAX);

const char* orEmpty(const char* s) { return s != 0 ? s : ""; }

}  // namespace

BufferAllocator::BufferAllocator(char* buffer, int max_size, const char* site, const char* name)
    : _begin(buffer),
      _end(buffer),
      _end_of_buffer(buffer + max_size),
      _nbytes_deallocated(0),
      _site(site),
      _name(name) {
    // A negative size would put the end before the start and make the region unbounded.
    OX_ASSERT(max_size >= 0);
}

BufferAllocator::pointer BufferAllocator::take(size_type num, const char* site) {
    const size_type used = size();
    const size_type capacity = max_size();
    if (num == 0 && used <= capacity) return _end;
    const uintptr_t at = reinterpret_cast<uintptr_t>(_end);
    const size_type start = used + (ALIGNMENT - at % ALIGNMENT) % ALIGNMENT;
    if (start <= capacity && num <= capacity - start) {
        _end = _begin + start + num;
        return _begin + start;
    }
    const size_type moved =
        (start >= MAX_OFFSET || num > MAX_OFFSET - start) ? MAX_OFFSET : start + num;
    _end = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(_begin) + moved);
    exhausted(site);
}

void BufferAllocator::deallocate(pointer /*p*/, size_type num) {
    _nbytes_deallocated += static_cast<int>(num);
}

void BufferAllocator::exhausted(const char* site) const {
    throw std::out_of_range(std::string("BufferAllocator: exhausted memory block.") +
                            " (MsgName=" + orEmpty(_name) + ", Site=" + orEmpty(site) + ")");
}

void BufferAllocator::dump(std::ostream& oss) const {
    const std::string rule(69, '-');
    const float allocated = static_cast<float>(size());
    const float deallocated = static_cast<float>(_nbytes_deallocated);
    const float capacity = static_cast<float>(max_size());
    // Nothing allocated means nothing fragmented (rather than 0/0).
    const float fragmented = allocated > 0 ? 100 * deallocated / allocated : 0.0f;
    const float used = capacity > 0 ? allocated / capacity * 100 : 0.0f;
    oss << "," << rule << std::endl;
    oss << "  BufferAllocator: " << static_cast<const void*>(this) << std::endl;
    oss << "      Max size:            " << max_size() << std::endl;
    oss << "      Nb. allocated:       " << size() << std::endl;
    oss << "      Nb. deallocated:     " << _nbytes_deallocated << std::endl;
    oss << "      % fragmented:        " << static_cast<double>(fragmented) << "%" << std::endl;
    oss << "      % total buffer used: " << static_cast<double>(used) << "%" << std::endl;
    oss << "`" << rule << std::endl;
}

}  // namespace Tarvik
