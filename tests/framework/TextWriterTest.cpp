#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/FastOStream.h"
#include "framework/TextWriter.h"

using Orbanex::FastOStream;
using Orbanex::StaticOStream;
typedef Tarvik::TextCodec<FastOStream> TextCodec;
typedef Tarvik::TextWriter<FastOStream> TextWriter;

namespace {

// A field with its label: newfield(), then "name=".
void label(TextWriter& w, const char* name) {
    w.newfield();
    w.out().write_data(name);
    w.out().write_data("=");
}

// A list of int32 values.
void intList(TextWriter& w, const std::vector<int>& values) {
    const TextWriter::State list = w.push("[", false);
    for (int v : values) {
        w.newfield();
        w.out().write_int32(v);
    }
    w.pop("]", list);
}

// The record (a=1 b=[1 2]).
void record(TextWriter& w, bool terminal) {
    const TextWriter::State group = w.push("(", terminal);
    label(w, "a");
    w.out().write_int32(1);
    label(w, "b");
    intList(w, {1, 2});
    w.pop(")", group);
}

template <int N>
std::string text(StaticOStream<N>& os) {
    return std::string(os.buffer(), os.size());
}

std::string renderRecord(bool pretty, bool terminal) {
    StaticOStream<256> os;
    TextCodec codec(os);
    TextWriter w(codec, pretty, 0);
    record(w, terminal);
    return text(os);
}

}  // namespace

TEST(TextWriter, RecordLayouts) {
    struct Case {
        bool pretty;
        bool terminal;
        const char* text;
    };
    const Case cases[] = {
        {false, false, "(a=1 b=[1 2])"},
        {false, true, "(a=1 b=[1 2])"},
        {true, false,
         "( a=1\n"
         "  b=[ 1\n"
         "      2 ] )"},
        {true, true, "( a=1  b=[ 1  2 ] )"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pretty ? "pretty" : "compact") +
                     (c.terminal ? " terminal" : " non-terminal"));
        EXPECT_EQ(renderRecord(c.pretty, c.terminal), c.text);
    }
}

TEST(TextWriter, EmptyGroupsAndLists) {
    for (bool pretty : {false, true}) {
        SCOPED_TRACE(pretty ? "pretty" : "compact");
        StaticOStream<64> os;
        TextCodec codec(os);
        TextWriter w(codec, pretty, 0);
        const TextWriter::State group = w.push("(", false);
        label(w, "l");
        intList(w, {});
        label(w, "r");
        const TextWriter::State inner = w.push("(", true);
        w.pop(")", inner);
        w.pop(")", group);
        EXPECT_EQ(text(os), pretty ? "( l=[  ]\n  r=(  ) )" : "(l=[] r=())");
    }
}

// Nested groups indent to the column of their own opening bracket, indentation and labels
// included; a non-terminal group inside a terminal one stays on one line.
TEST(TextWriter, NestedColumnsInPrettyLayout) {
    StaticOStream<512> os;
    TextCodec codec(os);
    TextWriter w(codec, true, 0);
    const TextWriter::State msg = w.push("(", false);
    label(w, "id");
    codec.write_int32(7);
    label(w, "rows");
    const TextWriter::State rows = w.push("[", false);
    for (int i = 0; i < 2; ++i) {
        w.newfield();
        const TextWriter::State row = w.push("(", false);
        label(w, "k");
        codec.write_string(std::string(i == 0 ? "x" : "y"));
        label(w, "v");
        intList(w, {i, i + 10});
        w.pop(")", row);
    }
    w.pop("]", rows);
    label(w, "t");
    const TextWriter::State term = w.push("(", true);
    label(w, "p");
    intList(w, {3, 4});
    label(w, "q");
    codec.write_bool(true);
    w.pop(")", term);
    label(w, "z");
    codec.write_rawfield("LAST");
    w.pop(")", msg);
    EXPECT_EQ(text(os),
              "( id=7\n"
              "  rows=[ ( k=\"x\"\n"
              "           v=[ 0\n"
              "               10 ] )\n"
              "         ( k=\"y\"\n"
              "           v=[ 1\n"
              "               11 ] ) ]\n"
              "  t=( p=[ 3  4 ]  q=T )\n"
              "  z=LAST )");
}

// A writer started after a prefix on the same line counts the prefix in its columns.
TEST(TextWriter, OffsetCountsThePrefixOnTheLine) {
    StaticOStream<128> os;
    TextCodec codec(os);
    codec.write_data("Msg<");
    TextWriter w(codec, true, static_cast<int>(os.size()));
    record(w, false);
    EXPECT_EQ(text(os),
              "Msg<( a=1\n"
              "      b=[ 1\n"
              "          2 ] )");
}

// A writer started at the start of a line after earlier output (offset 0) counts columns from
// there, not from the start of the stream.
TEST(TextWriter, ZeroOffsetStartsTheLineAtTheCursor) {
    StaticOStream<128> os;
    TextCodec codec(os);
    codec.write_data("abc");
    TextWriter w(codec, true, 0);
    record(w, false);
    EXPECT_EQ(text(os),
              "abc( a=1\n"
              "  b=[ 1\n"
              "      2 ] )");
}

TEST(TextWriter, ColumnBeyond255WrapsModulo256) {
    StaticOStream<1024> os;
    TextCodec codec(os);
    TextWriter w(codec, true, 0);
    const std::string longLabel(300, 'x');
    const TextWriter::State group = w.push("(", false);
    w.newfield();
    codec.write_data(longLabel.c_str());
    const TextWriter::State list = w.push("[", false);
    w.newfield();
    codec.write_int32(1);
    w.newfield();
    codec.write_int32(2);
    w.pop("]", list);
    w.pop(")", group);
    // The list's fields start at column 2 + 300 + 2 = 304, kept as 48.
    EXPECT_EQ(text(os), "( " + longLabel + "[ 1\n" + std::string(48, ' ') + "2 ] )");
}

TEST(TextWriter, PopRestoresTheEnclosingGroup) {
    StaticOStream<128> os;
    TextCodec codec(os);
    TextWriter w(codec, false, 0);
    const TextWriter::State outer = w.push("<", false);
    w.newfield();
    codec.write_int32(1);
    const TextWriter::State inner = w.push("{", true);
    w.newfield();
    codec.write_int32(2);
    w.newfield();
    codec.write_int32(3);
    w.pop("}", inner);
    w.newfield();
    codec.write_int32(4);
    w.pop(">", outer);
    EXPECT_EQ(text(os), "<1{2 3} 4>");
    EXPECT_EQ(outer.nitem, 0);
    EXPECT_FALSE(outer.isterminal);
    EXPECT_EQ(inner.nitem, 1);
}

// A dump larger than the stream is cut at the stream's end.
TEST(TextWriter, DumpLargerThanTheStreamIsCut) {
    const std::string full = renderRecord(true, false);
    for (size_t n = 1; n < full.size(); ++n) {
        SCOPED_TRACE(n);
        std::vector<char> buf(n);
        FastOStream os(buf.data(), buf.data() + n);
        TextCodec codec(os);
        TextWriter w(codec, true, 0);
        record(w, false);
        EXPECT_EQ(std::string(buf.data(), os.size()), full.substr(0, n));
    }
}
