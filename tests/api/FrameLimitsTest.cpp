// The limits of the format as the generated classes meet them: a string of at most 65535 bytes,
// a list of at most 32767 elements, and a message body of at most 65525 bytes (what a frame's
// 16-bit length can describe). Past a limit the writer refuses; nothing is cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ApiTestUtil.h"
#include "api/BatchesCompletedMessage.h"
#include "api/InsertLogMessage.h"
#include "framework/CodecError.h"
#include "framework/MsgHead.h"

using namespace ZURAV;

namespace {

// Room well beyond every limit, so that only the limit under test can refuse.
constexpr size_t ROOM = size_t(1) << 18;

// description (a string) and level (one byte).
InsertLogMessage logOf(size_t descriptionLength) {
    InsertLogMessage m;
    m.description.assign(descriptionLength, 'd');
    m.level = LogLevel::LOGINFO;
    return m;
}

}  // namespace

TEST(FrameLimits, StringsUpTo65535BytesAreWrittenAndLongerOnesRefused) {
    for (size_t length : {size_t(65535), size_t(65536)}) {
        SCOPED_TRACE(length);
        const InsertLogMessage m = logOf(length);
        std::vector<char> buf(ROOM);
        Tarvik::FastCodec out(buf.data(), buf.data() + buf.size());
        if (length > 65535) {
            EXPECT_THROW(m.write(&out), Tarvik::EncodeError);
            continue;
        }
        m.write(&out);
        ASSERT_EQ(out.size(), 3 + length + 1);
        InsertLogMessage back;
        EXPECT_EQ(apitest::decodeRecord(std::string(buf.data(), out.size()), back), out.size());
        EXPECT_TRUE(back == m);
    }
}

TEST(FrameLimits, ListsUpTo32767ElementsAreEncodedAndLongerOnesRefused) {
    for (size_t count : {size_t(32767), size_t(32768)}) {
        SCOPED_TRACE(count);
        BatchesCompletedMessage m;
        m.batchesCompleted.assign(count, 5);
        std::vector<char> buf(ROOM);
        if (count > 32767) {
            EXPECT_THROW(OXMessage::encodeMessage(m, buf.data(), buf.size()), Tarvik::EncodeError);
            continue;
        }
        const size_t n = OXMessage::encodeMessage(m, buf.data(), buf.size());
        EXPECT_EQ(n, 2 + count);  // a two-byte count, then one byte per element
        ShpOXMessage back =
            apitest::decode(BatchesCompletedMessage::ID, std::string(buf.data(), n));
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->getRef<BatchesCompletedMessage>() == m);
    }
}

// A body that fits the caller's room but not a frame is refused, so it never goes out behind a
// length that wrapped; the string limit is then never the one that refuses a message.
TEST(FrameLimits, BodiesLongerThanAFrameAreRefusedWhateverTheRoom) {
    ASSERT_EQ(Tarvik::MsgHead::MAX_BODY, 65525);
    struct Case {
        size_t descriptionLength;
        bool fits;
    };
    // The body is a three-byte string length, the string and the level byte.
    for (const Case& c : {Case{65521, true}, Case{65522, false}, Case{65535, false}}) {
        SCOPED_TRACE(c.descriptionLength);
        const InsertLogMessage m = logOf(c.descriptionLength);
        std::vector<char> buf(ROOM);
        if (!c.fits) {
            EXPECT_THROW(OXMessage::encodeMessage(m, buf.data(), buf.size()), Tarvik::EncodeError);
            continue;
        }
        const size_t n = OXMessage::encodeMessage(m, buf.data(), buf.size());
        EXPECT_EQ(n, 65525u);
        ShpOXMessage back = apitest::decode(InsertLogMessage::ID, std::string(buf.data(), n));
        ASSERT_TRUE(back);
        EXPECT_TRUE(back->getRef<InsertLogMessage>() == m);
    }
}
