#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/CodecError.h"
#include "framework/MsgControl.h"
#include "framework/MsgLogFile.h"
#include "framework/MsgProtocol.h"
#include "support/StandInFixture.h"
#include "support/TestBlock.h"

using StandIn::NoteMessage;
using StandIn::TickMessage;
using Tarvik::MsgControl;
using Tarvik::MsgHead;
using Tarvik::MsgIterator;
using Tarvik::MsgLogFile;
using test_support::RawBlock;

namespace {

constexpr int64_t SEC = 1000000000LL;
constexpr size_t BLOCK_SIZE = 1 << 16;

// The record msgWrite writes for the message in block.
std::string record(RawBlock& block) {
    std::ostringstream os;
    Tarvik::msgWrite(block.data(), os);
    return os.str();
}

// A record made by hand: any id, time stamp and body.
std::string rawRecord(Tarvik::MsgType_t id, int64_t nsecs, const std::string& body) {
    MsgHead h;
    h.length = static_cast<uint16_t>(body.size() + MsgHead::LENGTH_OVERHEAD);
    h.id = id;
    h.nsecs = nsecs;
    return std::string(reinterpret_cast<const char*>(&h), sizeof h) + body;
}

// Fixture verbs on the bytes of a file.
void setLength(std::string& bytes, size_t off, uint16_t length) {
    std::memcpy(&bytes[off], &length, sizeof length);
}
void setId(std::string& bytes, size_t off, Tarvik::MsgType_t id) {
    std::memcpy(&bytes[off + 2], &id, sizeof id);
}
void setTime(std::string& bytes, size_t off, int64_t nsecs) {
    std::memcpy(&bytes[off + 4], &nsecs, sizeof nsecs);
}
int64_t timeAt(const std::string& bytes, size_t off) {
    int64_t nsecs;
    std::memcpy(&nsecs, &bytes[off + 4], sizeof nsecs);
    return nsecs;
}

// Record offsets of a file made of the given records, and the records joined.
struct Records {
    std::string bytes;
    std::vector<size_t> offsets;

    void add(const std::string& r) {
        offsets.push_back(bytes.size());
        bytes += r;
    }
};

class MsgLogFileTest : public test_support::StandInTest {
  protected:
    void SetUp() override {
        StandInTest::SetUp();
        char dir[] = "/tmp/msglogfile.XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        _dir = dir;
    }
    void TearDown() override {
        _files.clear();
        for (const std::string& p : _paths) ::unlink(p.c_str());
        ::rmdir(_dir.c_str());
        StandInTest::TearDown();
    }

    std::string path(const std::string& name) {
        _paths.push_back(_dir + "/" + name);
        return _paths.back();
    }

    // Writes bytes to a new file and opens it.
    MsgLogFile* openBytes(const std::string& bytes) {
        const std::string p = path("f" + std::to_string(_paths.size()) + ".bin");
        std::ofstream(p, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return keep(MsgLogFile::open(p.c_str(), StandIn::__protocol));
    }

    // Closes every open file and removes the last one written: for loops that make one per turn.
    void discardFiles() {
        _files.clear();
        ::unlink(_paths.back().c_str());
        _paths.pop_back();
    }

    MsgLogFile* keep(MsgLogFile* f) {
        _files.emplace_back(f);
        return f;
    }

    static std::string tick(int32_t seq) {
        RawBlock b(BLOCK_SIZE);
        TickMessage& m = message<TickMessage>(initMessage(b, TickMessage::ID));
        m.seq = seq;
        m.price = seq * 1000LL;
        m.flag = seq % 2 != 0;
        m.kind = static_cast<int8_t>(seq);
        return record(b);
    }

    // A file of n ticks, seq 0 to n-1, their time stamps one second apart from t0 on.
    static Records ticks(int n, int64_t t0 = 1700000000LL * SEC) {
        Records r;
        for (int i = 0; i < n; ++i) {
            r.add(tick(i));
            setTime(r.bytes, r.offsets.back(), t0 + i * SEC);
        }
        return r;
    }

    // The record of a note with every kind of field filled.
    static std::string note() {
        RawBlock b(BLOCK_SIZE);
        fillNote(message<NoteMessage>(initMessage(b, NoteMessage::ID)));
        return record(b);
    }

    // Offsets that a walk from the first record visits.
    static std::vector<size_t> walk(MsgLogFile* f) {
        std::vector<size_t> seen;
        for (MsgIterator it(f); !it.done(); ++it) seen.push_back(static_cast<size_t>(it.tell()));
        return seen;
    }

    std::string _dir;
    std::vector<std::string> _paths;
    std::vector<std::unique_ptr<MsgLogFile>> _files;
};

}  // namespace

TEST_F(MsgLogFileTest, EmptyFileOpens) {
    MsgLogFile* f = openBytes("");
    ASSERT_NE(f, nullptr);
    EXPECT_NE(f->begin(), nullptr);
    EXPECT_EQ(f->begin(), f->end());
    EXPECT_EQ(f->length(), 0u);
    EXPECT_EQ(f->getProtocol(), StandIn::__protocol);
}

// An empty file, one shorter than a header, and one holding a header whose record has no body or
// no whole body: a valid file with no record, whichever way it is searched. seek() stands on a
// whole header whatever it holds, and decoding there finds no message.
TEST_F(MsgLogFileTest, EmptyAndHeaderOnlyFilesWalkNothing) {
    const int64_t t0 = 1700000000LL * SEC;
    const std::string full = rawRecord(TickMessage::ID, t0, "");
    const std::vector<std::string> files = {
        "",
        full.substr(0, 1),
        full.substr(0, 11),
        full,
        rawRecord(TickMessage::ID, t0, "abcd").substr(0, 12),
        rawRecord(TickMessage::ID, t0, "abcd").substr(0, 15),
    };
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        MsgLogFile* f = openBytes(files[i]);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->length(), files[i].size());
        MsgIterator it(f);
        EXPECT_TRUE(it.done());
        it.seeklast();
        EXPECT_TRUE(it.done());
        it.seekpos(0);
        EXPECT_TRUE(it.done());
        it.seek(0);
        ASSERT_EQ(it.done(), files[i].size() < MsgHead::SIZE);
        if (it.done()) continue;
        RawBlock block(BLOCK_SIZE);
        if (it.length() == MsgHead::LENGTH_OVERHEAD) {
            EXPECT_EQ(it.decode(block.data(), block.size()), nullptr);
        } else {
            EXPECT_THROW(it.decode(block.data(), block.size()), Tarvik::DecodeError);
        }
    }
}

TEST_F(MsgLogFileTest, OpenFailsForAMissingFile) {
    EXPECT_EQ(MsgLogFile::open(path("missing.bin").c_str(), StandIn::__protocol), nullptr);
}

TEST_F(MsgLogFileTest, CloseUnmapsAndKeepsTheName) {
    MsgLogFile* f = openBytes(tick(1));
    ASSERT_NE(f, nullptr);
    const std::string name = f->getFilename();
    EXPECT_EQ(f->length(), tick(1).size());
    f->close();
    EXPECT_EQ(f->begin(), nullptr);
    EXPECT_EQ(f->end(), nullptr);
    EXPECT_EQ(f->length(), 0u);
    EXPECT_EQ(f->protocol(), nullptr);
    EXPECT_EQ(f->getFilename(), name);
    f->close();
}

TEST_F(MsgLogFileTest, WalkVisitsEveryRecordAndDecodesIt) {
    Records r;
    r.add(tick(1));
    r.add(note());
    r.add(tick(-7));
    MsgLogFile* f = openBytes(r.bytes);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(walk(f), r.offsets);

    MsgIterator it(f);
    const std::vector<Tarvik::MsgType_t> ids = {TickMessage::ID, NoteMessage::ID, TickMessage::ID};
    for (size_t i = 0; i < ids.size(); ++i, ++it) {
        SCOPED_TRACE(i);
        ASSERT_FALSE(it.done());
        EXPECT_EQ(it.id(), ids[i]);
        EXPECT_EQ(it.getCurrent(), f->begin() + r.offsets[i]);
        EXPECT_EQ(int64_t(it.getHead().nsecs), timeAt(r.bytes, r.offsets[i]));
        RawBlock block(BLOCK_SIZE);
        MsgControl* c = it.decode(block.data(), block.size());
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->getId(), ids[i]);
        // Encoding the decoded message again gives the same body.
        std::ostringstream again;
        Tarvik::msgWrite(block.data(), again);
        EXPECT_EQ(again.str().substr(MsgHead::SIZE),
                  r.bytes.substr(r.offsets[i] + MsgHead::SIZE, it.length() - 10u));
    }
    EXPECT_TRUE(it.done());
    ++it;
    EXPECT_TRUE(it.done());
}

TEST_F(MsgLogFileTest, SingleRecordThenDone) {
    MsgLogFile* f = openBytes(tick(5));
    MsgIterator it(f);
    ASSERT_FALSE(it.done());
    EXPECT_EQ(it.tell(), 0);
    RawBlock block(BLOCK_SIZE);
    MsgControl* c = it.decode(block.data(), block.size());
    const TickMessage& m = message<TickMessage>(c);
    EXPECT_EQ(m.seq, 5);
    EXPECT_EQ(m.price, 5000);
    EXPECT_TRUE(m.flag);
    EXPECT_EQ(m.kind, 5);
    ++it;
    EXPECT_TRUE(it.done());
}

TEST_F(MsgLogFileTest, TellCompareAndSeek) {
    Records r = ticks(4);
    MsgLogFile* f = openBytes(r.bytes);
    MsgIterator first(f);
    MsgIterator it(f);
    ++it;
    ++it;
    EXPECT_EQ(it.tell(), static_cast<int64_t>(r.offsets[2]));
    EXPECT_EQ(it.compare(first), 1);
    EXPECT_EQ(first.compare(it), -1);
    EXPECT_TRUE(first != it);

    MsgIterator copy(it);
    EXPECT_TRUE(copy == it);
    copy.seek(copy.tell());
    EXPECT_EQ(copy.tell(), it.tell());
    EXPECT_EQ(copy.id(), it.id());

    // A done iterator tells 0 and so equals one on the first record.
    MsgIterator done(f);
    done.seek(-1);
    EXPECT_TRUE(done.done());
    EXPECT_EQ(done.tell(), 0);
    EXPECT_TRUE(done == first);

    // Any offset where a whole header fits, whatever lies there; none other.
    const int64_t size = static_cast<int64_t>(r.bytes.size());
    for (int64_t pos : {size - 12, int64_t(r.offsets[1]) + 3}) {
        SCOPED_TRACE(pos);
        MsgIterator s(f);
        s.seek(pos);
        ASSERT_FALSE(s.done());
        EXPECT_EQ(s.tell(), pos);
        EXPECT_EQ(s.getCurrent(), f->begin() + pos);
        EXPECT_EQ(std::memcmp(&s.getHead(), f->begin() + pos, MsgHead::SIZE), 0);
    }
    for (int64_t pos : {size, size - 11, size + 1, int64_t(1) << 40}) {
        SCOPED_TRACE(pos);
        MsgIterator s(f);
        s.seek(pos);
        EXPECT_TRUE(s.done());
    }
    // Back from done.
    done.seek(static_cast<int64_t>(r.offsets[3]));
    EXPECT_FALSE(done.done());
    EXPECT_EQ(done.nsecs(), timeAt(r.bytes, r.offsets[3]));
}

// The time parts come from the record's header (whose arithmetic MsgHead's tests cover).
TEST_F(MsgLogFileTest, TimePartsAreTheHeaders) {
    std::string bytes = tick(1);
    setTime(bytes, 0, -1500000000LL);
    MsgIterator it(openBytes(bytes));
    ASSERT_FALSE(it.done());
    EXPECT_EQ(it.nsecs(), -1500000000LL);
    EXPECT_EQ(it.secs(), -1);
    EXPECT_EQ(it.usecs(), -500000);
}

// Cutting the file anywhere inside its last record ends the walk before it; seeklast then finds
// the record before. seek() still stands on its header once that is whole, but decoding there
// refuses the record.
TEST_F(MsgLogFileTest, TruncatedLastRecordEndsTheWalk) {
    Records r;
    r.add(tick(1));
    r.add(note());
    r.add(note());
    const size_t last = r.offsets.back();
    const std::vector<size_t> before(r.offsets.begin(), r.offsets.end() - 1);
    for (size_t cut = last; cut < r.bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        MsgLogFile* f = openBytes(r.bytes.substr(0, cut));
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(walk(f), before);
        MsgIterator it(f);
        it.seeklast();
        ASSERT_FALSE(it.done());
        EXPECT_EQ(it.tell(), static_cast<int64_t>(r.offsets[1]));
        it.seek(static_cast<int64_t>(last));
        ASSERT_EQ(it.done(), cut - last < MsgHead::SIZE);
        if (!it.done()) {
            RawBlock block(BLOCK_SIZE);
            EXPECT_THROW(it.decode(block.data(), block.size()), Tarvik::DecodeError);
            EXPECT_TRUE((++it).done());
        }
        discardFiles();
    }
}

TEST_F(MsgLogFileTest, CorruptRecordLengthEndsTheWalk) {
    const Records r = ticks(5);
    const size_t victim = r.offsets[2];
    struct Case {
        const char* name;
        uint16_t length;
    };
    const Case cases[] = {
        {"zero", 0},
        {"shorter than the header", 9},
        {"no body", 10},
        {"past the end", 0xFFFF},
        {"one byte past the end", static_cast<uint16_t>(r.bytes.size() - victim - 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = r.bytes;
        setLength(bytes, victim, c.length);
        MsgLogFile* f = openBytes(bytes);
        EXPECT_EQ(walk(f), std::vector<size_t>(r.offsets.begin(), r.offsets.begin() + 2));
        // seek() stands on the header whatever it says; decoding finds no message there.
        MsgIterator it(f);
        it.seek(static_cast<int64_t>(victim));
        ASSERT_FALSE(it.done());
        EXPECT_EQ(it.length(), c.length);
        RawBlock block(BLOCK_SIZE);
        if (c.length == MsgHead::LENGTH_OVERHEAD) {
            EXPECT_EQ(it.decode(block.data(), block.size()), nullptr);
        } else {
            EXPECT_THROW(it.decode(block.data(), block.size()), Tarvik::DecodeError);
        }
    }
}

// A record that ends exactly at the end of the file is visited, even when its length was
// corrupted to swallow the rest of the file.
TEST_F(MsgLogFileTest, RecordEndingExactlyAtTheEndIsVisited) {
    const Records r = ticks(5);
    std::string bytes = r.bytes;
    setLength(bytes, r.offsets[2], static_cast<uint16_t>(bytes.size() - r.offsets[2] - 2));
    EXPECT_EQ(walk(openBytes(bytes)),
              std::vector<size_t>(r.offsets.begin(), r.offsets.begin() + 3));
}

TEST_F(MsgLogFileTest, MalformedBodyRaisesDecodeError) {
    const std::string good = note();
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string shortened = good;
    // One byte less of body: the last point's last varint is cut off.
    setLength(shortened, 0, static_cast<uint16_t>(good.size() - 3));
    std::string hugeCount =
        rawRecord(NoteMessage::ID, 0, std::string("\x00\x00\x00\x00\x00\x7f", 6));
    std::string unterminated = rawRecord(TickMessage::ID, 0, std::string(8, '\xff'));
    std::string leftOver = rawRecord(TickMessage::ID, 0, tick(3).substr(MsgHead::SIZE) + '\0');
    const Case cases[] = {
        {"body cut short", shortened},
        {"list count beyond the body", hugeCount},
        {"varint runs past the body", unterminated},
        {"bytes left over after the message", leftOver},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MsgIterator it(openBytes(c.bytes + good));
        ASSERT_FALSE(it.done());
        RawBlock block(BLOCK_SIZE);
        EXPECT_THROW(it.decode(block.data(), block.size()), Tarvik::DecodeError);
    }
}

TEST_F(MsgLogFileTest, DecodeRefusals) {
    RawBlock longNote(BLOCK_SIZE);
    NoteMessage& m = message<NoteMessage>(initMessage(longNote, NoteMessage::ID));
    fillNote(m);
    m.title = std::string(300, 't');
    std::string bytes = tick(3) + record(longNote);
    setId(bytes, 0, 0x7777);
    MsgLogFile* f = openBytes(bytes);
    MsgIterator it(f);
    ASSERT_FALSE(it.done());
    RawBlock block(BLOCK_SIZE);
    try {
        it.decode(block.data(), block.size());
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid id '30583' for protocol 'StandIn'");
    }

    ++it;
    // A record longer than the caller's block.
    RawBlock small(256);
    ASSERT_LT(small.size(), it.length());
    EXPECT_THROW(it.decode(small.data(), small.size()), Tarvik::DecodeError);

    // A header that does not describe a record inside the file, and one without a body.
    MsgHead h = it.getHead();
    h.length = static_cast<uint16_t>(h.length + 1);
    EXPECT_THROW(f->decode(block.data(), block.size(), h, it.getCurrent()), Tarvik::DecodeError);
    h.length = 9;
    EXPECT_THROW(f->decode(block.data(), block.size(), h, it.getCurrent()), Tarvik::DecodeError);
    h.length = 10;
    EXPECT_EQ(f->decode(block.data(), block.size(), h, it.getCurrent()), nullptr);
}

TEST_F(MsgLogFileTest, SeekposFindsTheNextBoundaryWithAPlausibleSuccessor) {
    const Records r = ticks(5);
    MsgLogFile* f = openBytes(r.bytes);
    MsgIterator it(f);
    it.seekpos(0);
    EXPECT_EQ(it.tell(), 0);
    EXPECT_FALSE(it.done());
    for (size_t pos = 1; pos <= r.offsets[1]; ++pos) {
        SCOPED_TRACE(pos);
        it.seekpos(static_cast<int64_t>(pos));
        ASSERT_FALSE(it.done());
        EXPECT_EQ(it.tell(), static_cast<int64_t>(r.offsets[1]));
        EXPECT_EQ(it.nsecs(), timeAt(r.bytes, r.offsets[1]));
    }
    // The last record has no successor.
    it.seekpos(static_cast<int64_t>(r.offsets[3] + 1));
    EXPECT_TRUE(it.done());
    for (int64_t pos : {int64_t(-1), static_cast<int64_t>(r.bytes.size()),
                        static_cast<int64_t>(r.bytes.size() + 1)}) {
        SCOPED_TRACE(pos);
        it.seek(0);
        it.seekpos(pos);
        EXPECT_TRUE(it.done());
    }
}

// The window is [t0 - 1 h, t0 + 167 h): a record outside it is not a boundary for either search.
TEST_F(MsgLogFileTest, PlausibilityWindowForSeekposAndSeeklast) {
    const int64_t t0 = 1700000000LL * SEC;
    struct Case {
        int64_t nsecs;
        bool plausible;
    };
    const Case cases[] = {
        {t0 - 3600 * SEC, true},    {t0 - 3600 * SEC - 1, false}, {t0 + 601200 * SEC - 1, true},
        {t0 + 601200 * SEC, false}, {INT64_MIN, false},           {INT64_MAX, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nsecs);
        Records r = ticks(5, t0);
        setTime(r.bytes, r.offsets[2], c.nsecs);
        MsgLogFile* f = openBytes(r.bytes);
        // The walk itself does not judge time stamps.
        EXPECT_EQ(walk(f), r.offsets);
        MsgIterator it(f);
        // Record 1 is a boundary only when its successor, record 2, is plausible.
        it.seekpos(static_cast<int64_t>(r.offsets[1]));
        ASSERT_FALSE(it.done());
        EXPECT_EQ(it.tell(), static_cast<int64_t>(c.plausible ? r.offsets[1] : r.offsets[3]));
        it.seekpos(static_cast<int64_t>(r.offsets[1] + 1));
        EXPECT_EQ(it.tell(), static_cast<int64_t>(c.plausible ? r.offsets[2] : r.offsets[3]));

        Records last = ticks(5, t0);
        setTime(last.bytes, last.offsets[4], c.nsecs);
        MsgIterator back(openBytes(last.bytes));
        back.seeklast();
        ASSERT_FALSE(back.done());
        EXPECT_EQ(back.tell(),
                  static_cast<int64_t>(c.plausible ? last.offsets[4] : last.offsets[3]));
    }
}

TEST_F(MsgLogFileTest, SearchesSkipUnknownIds) {
    Records r = ticks(4);
    setId(r.bytes, r.offsets[3], 0x7777);
    MsgIterator it(openBytes(r.bytes));
    it.seeklast();
    EXPECT_EQ(it.tell(), static_cast<int64_t>(r.offsets[2]));
    // Record 2's successor is unknown: not a boundary.
    it.seekpos(static_cast<int64_t>(r.offsets[1] + 1));
    EXPECT_TRUE(it.done());
}

// seekpos looks at 65536 candidate offsets from pos; seeklast at the last 65536 of the file.
TEST_F(MsgLogFileTest, SearchesLookNoFurtherThan65536Bytes) {
    const int64_t t0 = 1700000000LL * SEC;
    Records r;
    // A record of 65537 bytes whose body holds no plausible header (id 0 is unknown).
    r.add(rawRecord(TickMessage::ID, t0, std::string(0xFFFF - 10, '\0')));
    r.add(tick(1));
    r.add(tick(2));
    setTime(r.bytes, r.offsets[1], t0);
    setTime(r.bytes, r.offsets[2], t0);
    ASSERT_EQ(r.offsets[1], 65537u);
    MsgLogFile* f = openBytes(r.bytes);
    MsgIterator it(f);
    it.seekpos(1);
    EXPECT_TRUE(it.done());
    it.seekpos(2);
    EXPECT_EQ(it.tell(), 65537);

    // seeklast: the first record lies just beyond, then just within, the last 65536 bytes.
    for (size_t tail : {size_t(65536) - 16, size_t(65536) - 17}) {
        SCOPED_TRACE(tail);
        const std::string first = tick(1);
        ASSERT_EQ(first.size(), 17u);
        std::string bytes = first + rawRecord(0x7777, t0, std::string(tail - 12, '\0'));
        setTime(bytes, 0, t0);
        MsgIterator last(openBytes(bytes));
        last.seeklast();
        if (bytes.size() > 65536) {
            EXPECT_TRUE(last.done());
        } else {
            EXPECT_EQ(last.tell(), 0);
            EXPECT_FALSE(last.done());
        }
    }
}

TEST_F(MsgLogFileTest, MsgWriteWritesOneRecord) {
    RawBlock b(BLOCK_SIZE);
    TickMessage& m = message<TickMessage>(initMessage(b, TickMessage::ID));
    m.seq = 64;  // zigzag 128: two bytes
    m.price = 0;
    m.flag = true;
    m.kind = -1;
    timespec before, after;
    ::clock_gettime(CLOCK_REALTIME, &before);
    const std::string r = record(b);
    ::clock_gettime(CLOCK_REALTIME, &after);
    ASSERT_EQ(r.size(), 17u);
    MsgHead h;
    std::memcpy(&h, r.data(), sizeof h);
    EXPECT_EQ(int(h.length), 15);
    EXPECT_EQ(Tarvik::MsgType_t(h.id), TickMessage::ID);
    EXPECT_GE(int64_t(h.nsecs), before.tv_sec * SEC + before.tv_nsec);
    EXPECT_LE(int64_t(h.nsecs), after.tv_sec * SEC + after.tv_nsec);
    EXPECT_EQ(r.substr(12), std::string("\x80\x01\x00\x01\xff", 5));
}

// A body longer than a record's 16-bit length can describe is refused, and nothing is written.
TEST_F(MsgLogFileTest, MsgWriteRefusesABodyTooLongForARecord) {
    for (size_t titleLength : {size_t(65000), size_t(65535)}) {
        SCOPED_TRACE(titleLength);
        RawBlock b(1 << 18);
        NoteMessage& m = message<NoteMessage>(initMessage(b, NoteMessage::ID));
        fillNote(m);
        m.title = std::string(titleLength, 't');
        std::ostringstream os;
        if (titleLength == 65000) {
            Tarvik::msgWrite(b.data(), os);
            EXPECT_GT(os.str().size(), 65000u);
            MsgIterator it(openBytes(os.str()));
            ASSERT_FALSE(it.done());
            EXPECT_EQ(it.length() + 2u, os.str().size());
        } else {
            EXPECT_THROW(Tarvik::msgWrite(b.data(), os), Tarvik::EncodeError);
            EXPECT_TRUE(os.str().empty());
        }
    }
}

// Offsets beyond 4 GiB: a sparse file whose records lie past the 32-bit range.
TEST_F(MsgLogFileTest, OffsetsBeyond4GiB) {
    const int64_t t0 = 1700000000LL * SEC;
    const int64_t far = (int64_t(1) << 32) + 1000;
    const std::string p = path("sparse.bin");
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_NE(fd, -1);
    std::string head = tick(0);
    setTime(head, 0, t0);
    Records tail;
    for (int i = 1; i <= 3; ++i) {
        tail.add(tick(i));
        setTime(tail.bytes, tail.offsets.back(), t0 + i * SEC);
    }
    const bool written =
        ::pwrite(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) &&
        ::pwrite(fd, tail.bytes.data(), tail.bytes.size(), far) ==
            static_cast<ssize_t>(tail.bytes.size());
    const int err = errno;
    ::close(fd);
    if (!written) GTEST_SKIP() << "no sparse file of 4 GiB here: " << std::strerror(err);

    MsgLogFile* f = keep(MsgLogFile::open(p.c_str(), StandIn::__protocol));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->length(), static_cast<size_t>(far) + tail.bytes.size());
    MsgIterator it(f);
    it.seek(far);
    ASSERT_FALSE(it.done());
    EXPECT_EQ(it.tell(), far);
    ++it;
    EXPECT_EQ(it.tell(), far + static_cast<int64_t>(tail.offsets[1]));
    RawBlock block(BLOCK_SIZE);
    MsgControl* c = it.decode(block.data(), block.size());
    EXPECT_EQ(message<TickMessage>(c).seq, 2);
    it.seeklast();
    EXPECT_EQ(it.tell(), far + static_cast<int64_t>(tail.offsets[2]));
    it.seekpos(far - 100);
    EXPECT_EQ(it.tell(), far);
    MsgIterator first(f);
    EXPECT_EQ(first.compare(it), -1);
    ++first;  // the hole of zeros holds no record
    EXPECT_TRUE(first.done());
}

TEST_F(MsgLogFileTest, BrokenPreconditionsStopTheProgram) {
    MsgLogFile* f = openBytes(tick(1));
    ASSERT_NE(f, nullptr);
    EXPECT_DEATH(MsgLogFile::open(nullptr, StandIn::__protocol),
                 "Assertion `filename != 0 && proto != 0' failed");
    EXPECT_DEATH(MsgLogFile::open("x", nullptr), "Assertion `filename != 0 && proto != 0' failed");
    EXPECT_DEATH(MsgIterator(nullptr), "Assertion `_file != 0' failed");
    MsgIterator it(f);
    ++it;
    RawBlock block(BLOCK_SIZE);
    EXPECT_DEATH(it.decode(block.data(), block.size()), "Assertion `_cur != 0' failed");
    f->close();
    EXPECT_DEATH(MsgIterator{f}, "Assertion `_file->end\\(\\)' failed");
    // msgWrite of a retired block.
    initMessage(block, TickMessage::ID)->finalize(false);
    std::ostringstream os;
    EXPECT_DEATH(Tarvik::msgWrite(block.data(), os), "Assertion `_descriptor != 0' failed");
}

// Randomly corrupted files, walked, searched and decoded every way: every presented record lies
// whole inside the file, and nothing reads outside it (checked by AddressSanitizer).
TEST_F(MsgLogFileTest, FuzzCorruptedFilesNeverCrash) {
    const int64_t t0 = 1700000000LL * SEC;
    Records base;
    for (int i = 0; i < 12; ++i) {
        base.add(i % 3 == 0 ? note() : tick(i * 37 - 100));
        setTime(base.bytes, base.offsets.back(), t0 + i * SEC);
    }
    std::mt19937 rng(20240611);
    auto below = [&rng](size_t n) { return static_cast<size_t>(rng() % n); };
    RawBlock block(BLOCK_SIZE);
    int decoded = 0;
    int refused = 0;
    for (int iteration = 0; iteration < 300; ++iteration) {
        SCOPED_TRACE(iteration);
        std::string bytes = base.bytes;
        const int edits = 1 + static_cast<int>(below(6));
        for (int e = 0; e < edits; ++e) {
            switch (below(5)) {
                case 0:  // flip a byte
                    bytes[below(bytes.size())] ^= static_cast<char>(1 + below(255));
                    break;
                case 1:  // a random length at a record start
                    setLength(bytes, base.offsets[below(base.offsets.size())],
                              static_cast<uint16_t>(rng()));
                    break;
                case 2:  // a length a little off
                {
                    const size_t off = base.offsets[below(base.offsets.size())];
                    uint16_t len;
                    std::memcpy(&len, &bytes[off], 2);
                    setLength(bytes, off, static_cast<uint16_t>(len + below(7) - 3));
                    break;
                }
                case 3:  // swap in a known id
                    setId(bytes, base.offsets[below(base.offsets.size())],
                          below(2) ? NoteMessage::ID : TickMessage::ID);
                    break;
                default:  // truncate
                    bytes.resize(below(bytes.size() + 1));
                    break;
            }
            if (bytes.size() < 2) break;
        }
        MsgLogFile* f = openBytes(bytes);
        ASSERT_NE(f, nullptr);
        const int64_t size = static_cast<int64_t>(bytes.size());
        // seek() may stand on a header whose record is not whole; nothing else presents one.
        auto visit = [&](MsgIterator& it, bool sought = false) {
            if (it.done()) return;
            ASSERT_GE(it.tell(), 0);
            ASSERT_LE(it.tell() + MsgHead::SIZE, size);
            if (!sought) {
                ASSERT_GT(it.length(), 10);
                ASSERT_LE(it.tell() + it.length() + 2, size);
            }
            try {
                if (it.decode(block.data(), block.size()) != nullptr) ++decoded;
            } catch (const std::exception&) {
                ++refused;
            }
        };
        int steps = 0;
        for (MsgIterator it(f); !it.done() && steps < 100; ++it, ++steps) visit(it);
        MsgIterator it(f);
        it.seeklast();
        visit(it);
        for (int k = 0; k < 8; ++k) {
            const int64_t pos = static_cast<int64_t>(below(bytes.size() + 2)) - 1;
            it.seekpos(pos);
            visit(it);
            ++it;
            visit(it);
            it.seek(pos);
            visit(it, true);
            ++it;
            visit(it);
        }
        discardFiles();
    }
    // Both outcomes were exercised.
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
}
