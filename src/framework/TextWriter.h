#pragma once

#include <cstdint>

#include "framework/TextCodec.h"

namespace Tarvik {

// Lays out a text dump over a TextCodec: groups (a record, a message, a list) between brackets,
// fields separated within a group.
//
//   layout    between fields        inside the brackets
//   compact   " "                   nothing:        (a=1 b=[1 2])
//   pretty    "  " or a new line    one space:      ( a=1
//                                                     b=[ 1
//                                                         2 ] )
//
// In the pretty layout each field of a non-terminal group after the first starts a new line,
// indented to the group's column: the column just after its opening bracket and spacer, counted
// from the start of the line on which the bracket stands. A terminal group, and everything
// nested in it, stays on one line with fields separated by two spaces.
//
// Use: keep the State that push() returns and hand it back to the matching pop(); for each field
// call newfield(), then write the label ("name=") with out().write_data() and the value. The
// writer keeps no stack of its own, so nesting costs only the caller's stack.
//
// Not thread-safe: a writer belongs to the thread that renders, for the time of one dump.
template <class STREAM>
class TextWriter {
  public:
    struct State {
        // Column of the group's fields, modulo 256.
        uint8_t col;
        // The group, or a group around it, stays on one line.
        bool isterminal;
        // Fields started in the group so far.
        int nitem;
    };

    // offset: characters already on the current line before the stream's cursor (0 at the start
    // of a line; the cursor's position when a prefix has been written since the stream began).
    TextWriter(TextCodec<STREAM>& codec, bool pretty, int offset)
        : _out(codec),
          _state(),
          _offset(offset),
          _line(0),
          _pretty(pretty),
          _separator(pretty ? "  " : " "),
          _spacer(pretty ? " " : "") {
        reset();
        _line -= offset;
    }

    // Writes the opening bracket and enters a group; returns the enclosing group's state, for pop.
    State push(const char* cbegin, bool isterminal) {
        _out.write_data(cbegin);
        _out.write_data(_spacer);
        const State enclosing = _state;
        _state.nitem = 0;
        _state.col = static_cast<uint8_t>(pos() - _line);
        _state.isterminal = enclosing.isterminal || isterminal;
        return enclosing;
    }

    // Leaves the group that the push which returned s entered, and writes the closing bracket.
    void pop(const char* cend, const State& s) {
        _state = s;
        _out.write_data(_spacer);
        _out.write_data(cend);
    }

    // Starts the next field of the innermost group: nothing before its first field.
    void newfield() {
        if (_state.nitem != 0) {
            if (_pretty && !_state.isterminal) {
                endline();
                for (int i = 0; i < _state.col; ++i) _out.write_data(" ");
            } else {
                _out.write_data(_separator);
            }
        }
        ++_state.nitem;
    }

    TextCodec<STREAM>& out() { return _out; }

  protected:
    TextCodec<STREAM>& _out;

  private:
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    void reset() {
        _line = pos();
        _state.col = static_cast<uint8_t>(pos());
        _state.isterminal = false;
        _state.nitem = 0;
    }

    int pos() { return static_cast<int>(_out.stream().size()); }

    void endline() {
        _out.write_data("\n");
        _line = pos();
    }

    State _state;
    int _offset;
    int _line;
    bool _pretty;
    const char* _separator;
    const char* _spacer;
};

extern template class TextWriter<Orbanex::FastOStream>;

}  // namespace Tarvik
