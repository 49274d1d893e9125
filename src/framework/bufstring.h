#pragma once

#include <cstring>
#include <string>

#include "framework/bufvector.h"

namespace bufstl {

// A string in a message block: a bufvector of CHAR holding the text followed by exactly one NUL,
// or nothing at all when it was never assigned (no storage). Both forms have text length 0, but
// they compare unequal: equality and order are those of the stored characters, NUL included.
// The text may hold NUL characters of its own (a decoded string can).
//
// The vector's own size() and empty() count the stored NUL and are hidden; size_() and empty_()
// are the text's.
template <typename CHAR>
class basic_bufstring : public bufvector<CHAR> {
    typedef bufvector<CHAR> _Base;

  public:
    typedef typename _Base::buffer_alloc buffer_alloc;
    typedef typename _Base::size_type size_type;

    explicit basic_bufstring(buffer_alloc& alloc) : _Base(alloc) {}

    // Text length: the stored count minus the NUL, 0 without storage.
    size_type size_() const { return _Base::empty() ? 0 : _Base::size() - 1; }
    bool empty_() const { return size_() == 0; }

    // The text, NUL-terminated; an empty text for a string without storage.
    const CHAR* c_str() const { return _Base::empty() ? _emptyText() : this->_M_start; }

    // The text of s up to its NUL; a null s leaves only the NUL.
    basic_bufstring& assign(const CHAR* s) {
        if (s == 0) return clear();
        return assign(s, std::char_traits<CHAR>::length(s));
    }

    // The n characters at s, NULs included, then a NUL. s may point into this string: storage
    // a growth supersedes stays untouched in the block, and the copy tolerates overlap.
    basic_bufstring& assign(const CHAR* s, size_type n) {
        if (s == 0) return clear();
        _Base::resize(n + 1);
        std::char_traits<CHAR>::move(this->_M_start, s, n);
        this->_M_start[n] = CHAR();
        return *this;
    }

    // One stored NUL: the assigned empty string (takes storage if there was none).
    basic_bufstring& clear() {
        _Base::resize(1);
        this->_M_start[0] = CHAR();
        return *this;
    }

    // Appends the text of s (nothing for null).
    basic_bufstring& append(const CHAR* s) {
        if (s == 0) return *this;
        const size_type n = std::char_traits<CHAR>::length(s);
        const size_type old = size_();
        _Base::resize(old + n + 1);
        std::char_traits<CHAR>::move(this->_M_start + old, s, n);
        this->_M_start[old + n] = CHAR();
        return *this;
    }
    basic_bufstring& operator+=(const CHAR* s) { return append(s); }

    // Takes o's stored characters, NUL included, into this string's own block; an unassigned o
    // leaves this string without stored characters (its storage stays).
    basic_bufstring& operator=(const basic_bufstring& o) {
        if (&o == this) return *this;
        const size_type n = static_cast<const _Base&>(o).size();
        _Base::resize(n);
        if (n != 0) std::char_traits<CHAR>::copy(this->_M_start, o._M_start, n);
        return *this;
    }
    basic_bufstring& operator=(const CHAR* s) { return assign(s); }
    // The std::string's text up to its first NUL.
    basic_bufstring& operator=(const std::basic_string<CHAR>& s) { return assign(s.c_str()); }

    // Text comparison with a std::string (NULs inside either text count).
    bool operator==(const std::basic_string<CHAR>& s) const {
        return size_() == s.size() &&
               std::char_traits<CHAR>::compare(c_str(), s.data(), s.size()) == 0;
    }
    bool operator!=(const std::basic_string<CHAR>& s) const { return !(*this == s); }

    // The invariant: no storage, or a NUL as the last stored character.
    bool check() const { return _Base::empty() || this->_M_finish[-1] == CHAR(); }

  private:
    using _Base::empty;
    using _Base::size;

    static const CHAR* _emptyText() {
        static const CHAR nul = CHAR();
        return &nul;
    }

    basic_bufstring() = delete;
    basic_bufstring(const basic_bufstring&) = delete;
};

typedef basic_bufstring<char> bufstring;

}  // namespace bufstl
