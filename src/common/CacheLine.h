#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace Orbanex {

constexpr std::size_t CACHE_LINE_SIZE = 64;

// A value alone on its cache line: the alignment starts it on a line boundary and pads its size
// to whole lines, so that threads writing it do not invalidate the line of a neighbouring field.
template <typename T>
struct alignas(CACHE_LINE_SIZE) CacheLine {
    constexpr CacheLine() : data() {}

    template <typename U,
              typename = std::enable_if_t<!std::is_same<std::decay_t<U>, CacheLine>::value>>
    constexpr explicit CacheLine(U&& value) : data(std::forward<U>(value)) {}

    T data;
};

}  // namespace Orbanex
