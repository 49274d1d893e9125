// The text of catalogue records and messages: AsciiWriter in both layouts, through dispatch and
// through the stream operators.
#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "CatalogueTestUtil.h"
#include "framework/MsgControl.h"
#include "framework/MsgDescriptor.h"

using namespace Orbanex;
using namespace cattest;
using Tarvik::MsgControl;
using test_support::RawBlock;

namespace {

constexpr size_t BLOCK_SIZE = 1 << 18;
constexpr int TEXT_SIZE = 1 << 18;

std::string spaces(size_t n) { return std::string(n, ' '); }

// The text of the std::ostream operator.
template <class X>
std::string streamed(const X& x) {
    std::ostringstream os;
    os << x;
    return os.str();
}

// The text of the FastOStream operator.
template <class X>
std::string fast(const X& x) {
    auto os = std::make_unique<StaticOStream<TEXT_SIZE>>();
    *os << x;
    return std::string(os->buffer(), os->size());
}

// x through a writer built on a stream that already holds prefix.
template <class X>
std::string written(const X& x, bool pretty, const std::string& prefix, int offset) {
    auto os = std::make_unique<StaticOStream<TEXT_SIZE>>();
    *os << prefix;
    ACodec codec(*os);
    AsciiWriter w(codec, pretty, offset);
    w.handle(x);
    return std::string(os->buffer(), os->size());
}

class Writer : public CatalogueTest {
  protected:
    // A new message of type M in a block of its own, set up through the catalogue.
    template <class M>
    M& make() {
        _blocks.push_back(std::make_unique<RawBlock>(BLOCK_SIZE));
        MsgControl* c = MsgControl::initialize("WriterTest", _blocks.back()->data(), BLOCK_SIZE,
                                               nullptr, __protocol, M::ID);
        return *reinterpret_cast<M*>(c->getMessageBuffer());
    }

    // The block that holds m.
    template <class M>
    char* blockOf(const M& m) {
        for (auto& b : _blocks) {
            if (b->holds(&m)) return b->data();
        }
        ADD_FAILURE() << "no block holds the message";
        return nullptr;
    }

    // The dump of a pooled message: "<", the descriptor's name and a space, the message through a
    // writer whose offset is the stream's position, dispatched by the block, then ">".
    template <class M>
    std::string dump(const M& m, bool pretty) {
        char* block = blockOf(m);
        auto os = std::make_unique<StaticOStream<TEXT_SIZE>>();
        *os << '<' << MsgControl::get(block)->getDescriptor()->name() << ' ';
        ACodec codec(*os);
        AsciiWriter w(codec, pretty, static_cast<int>(os->size()));
        w.dispatch(block);
        *os << '>';
        return std::string(os->buffer(), os->size());
    }

    std::vector<std::unique_ptr<RawBlock>> _blocks;
};

// Every class: the compact text names the fields in declaration order, the text of a message
// block through dispatch is the text of the message itself, a terminal type stays on one line
// in the pretty layout.
template <class X>
class EveryClassText : public Writer {};

using Classes = ::testing::Types<OX_CATALOGUE_RECORD_TYPES, OX_CATALOGUE_MESSAGE_TYPES>;
TYPED_TEST_SUITE(EveryClassText, Classes);

struct Names {
    std::vector<std::string> names;
    bool lists = false;
    bool records = false;

    template <class K, class T>
    bool operator()(K, const char* name, const T&) {
        names.push_back(name);
        lists = lists || std::is_same<K, Kind::List>::value;
        records = records || std::is_same<K, Kind::Record>::value;
        return true;
    }
};

template <class T, class = void>
struct IsMessage : std::false_type {};
template <class T>
struct IsMessage<T, std::void_t<decltype(T::INDEX)>> : std::true_type {};

}  // namespace

TYPED_TEST(EveryClassText, NamesEveryFieldInOrderAndRendersAlikeEveryWay) {
    auto x = filled<TypeParam>(3);
    Names fields;
    TypeParam::fields(fields, **x);
    const std::string name = ::testing::internal::GetTypeName<TypeParam>();
    const std::string prefix = "<" + name.substr(name.rfind(':') + 1) + " (";

    const std::string text = streamed(**x);
    ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
    EXPECT_EQ(text.substr(text.size() - 2), ")>");
    size_t at = prefix.size();
    for (const std::string& field : fields.names) {
        const std::string label = (at == prefix.size() ? "" : " ") + field + "=";
        const size_t found = text.find(label, at);
        ASSERT_NE(found, std::string::npos) << field << " in " << text;
        EXPECT_TRUE(at != prefix.size() || found == at) << "the first field opens the group";
        at = found + label.size();
    }
    EXPECT_EQ(fast(**x), text);

    const std::string pretty = written(**x, true, "", 0);
    const bool terminal = !fields.lists && !fields.records;
    if (terminal) {
        EXPECT_EQ(pretty.find('\n'), std::string::npos) << pretty;
    }

    if constexpr (IsMessage<TypeParam>::value) {
        TypeParam& m = this->template make<TypeParam>();
        Filler(3).walk(m);
        EXPECT_EQ(this->dump(m, false), text);
        EXPECT_EQ(this->dump(m, true), written(m, true, text.substr(0, prefix.size() - 1),
                                               static_cast<int>(prefix.size() - 1)) +
                                           ">");
    }
}

TEST_F(Writer, HeartbeatInBothLayouts) {
    HeartbeatMessage& m = make<HeartbeatMessage>();
    m.contents.timeApiServer = 1000;
    m.contents.activeFeeds.resize(2);
    m.contents.activeFeeds[0] = 3;
    m.contents.activeFeeds[1] = 4;
    m.feedSeqID = 7;

    const std::string compact =
        "<HeartbeatMessage (contents=(timeApiServer=1000 activeFeeds=[3 4]) feedSeqID=7)>";
    EXPECT_EQ(streamed(m), compact);
    EXPECT_EQ(fast(m), compact);
    EXPECT_EQ(dump(m, false), compact);
    EXPECT_EQ(dump(m, true), "<HeartbeatMessage ( contents=( timeApiServer=1000\n" + spaces(31) +
                                 "activeFeeds=[ 3\n" + spaces(45) + "4 ] )\n" + spaces(20) +
                                 "feedSeqID=7 )>");
}

TEST_F(Writer, TerminalMessageStaysOnOneLine) {
    ConnectResponseMessage& m = make<ConnectResponseMessage>();
    m.connectionResponse = ConnectionResponse::SUCCESS;
    m.sessionID = 12;
    m.isAdmin = false;
    EXPECT_EQ(dump(m, false),
              "<ConnectResponseMessage (connectionResponse=SUCCESS text=\"\" sessionID=12 "
              "isAdmin=F)>");
    EXPECT_EQ(dump(m, true),
              "<ConnectResponseMessage ( connectionResponse=SUCCESS  text=\"\"  sessionID=12  "
              "isAdmin=F )>");
}

TEST_F(Writer, TerminalRecordInANonTerminalMessageStaysOnOneLine) {
    SubmitOrderMessage& m = make<SubmitOrderMessage>();
    m.userID = 1;
    m.contents.orderID = 2;
    m.contents.side = Side::OFR;
    m.contents.timeInForce = TimeInForce::GTC;
    m.contents.maxShow = Tarvik::NA;
    const std::string at = "\n" + spaces(22);
    EXPECT_EQ(dump(m, true),
              "<SubmitOrderMessage ( userID=1" + at + "quoteID=\"\"" + at +
                  "onBehalfOfCompID=\"\"" + at +
                  "contents=( orderID=2  clOrdID=\"\"  timeApiClient=0  timeApiServer=0  "
                  "timeHandler=0  feedID=0  marketID=0  side=OFR  amount=0  price=0  ordType=  "
                  "timeInForce=GTC  stopPrice=0  maxShow=-9223372036854775805 )" +
                  at + "modelID=\"\" )>");
}

TEST_F(Writer, ValuesByKind) {
    StatTimeoutMessage& dummy = make<StatTimeoutMessage>();
    BatchesCompletedMessage& empty = make<BatchesCompletedMessage>();
    ClientConnectMessage& login = make<ClientConnectMessage>();
    login.user = "a\"b";
    login.password = "p\nw\\";
    RequestMessage& request = make<RequestMessage>();
    request.fmID = FeedMarketID(1, 2);
    request.request = Request::SECURITYINFO;  // its low byte names no value
    LogMessage& log = make<LogMessage>();
    log.timestamp = 5;
    log.thread = "main";
    log.level = LogLevel::LOGINFO;
    log.logger = "API";
    log.filename = "a.cpp";
    log.lineno = -7;
    log.function = "f";
    log.description = "hello";
    ConnectResponseMessage& refusal = make<ConnectResponseMessage>();
    refusal.connectionResponse = ConnectionResponse::FAILED_OTHER;
    refusal.text = "no";
    refusal.isAdmin = true;
    PadMessage& pad = make<PadMessage>();
    pad.padding = "xy";
    LastSequenceIDMessage& sequences = make<LastSequenceIDMessage>();
    sequences.feedSeqIDs.resize(2);
    sequences.feedSeqIDs[0] = UserSequenceID(1, 2);
    sequences.feedSeqIDs[1] = UserSequenceID(3, 4);
    sequences.sequenceID = 7;
    InBlock<MDEntry> entry;
    entry->price = Tarvik::NA;
    entry->amount = -1;
    entry->updateAction = MDUpdateAction::CHANGE;
    entry->source = -1;
    entry->numberOfOrders = 300;
    InBlock<TradeHierarchy> hierarchy;
    hierarchy->groupNames.resize(2);
    hierarchy->groupNames[0] = "g1";
    hierarchy->groupNames[1].assign("");

    struct Case {
        const char* what;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"dummy of a fresh message", dump(dummy, false), "<StatTimeoutMessage (dummy=0)>"},
        {"empty list, compact", dump(empty, false),
         "<BatchesCompletedMessage (batchesCompleted=[])>"},
        {"empty list, pretty", dump(empty, true),
         "<BatchesCompletedMessage ( batchesCompleted=[  ] )>"},
        {"strings unescaped, the password in clear", streamed(login),
         "<ClientConnectMessage (user=\"a\"b\" password=\"p\nw\\\")>"},
        {"an enumeration value without a name", streamed(request),
         "<RequestMessage (fmID=(marketID=1 feedID=2) request=)>"},
        {"scrambled strings in clear", streamed(log),
         "<LogMessage (timestamp=5 thread=\"main\" level=LOGINFO logger=\"API\" "
         "filename=\"a.cpp\" lineno=-7 function=\"f\" description=\"hello\")>"},
        {"enumeration by name, true as T", streamed(refusal),
         "<ConnectResponseMessage (connectionResponse=FAILED_OTHER text=\"no\" sessionID=0 "
         "isAdmin=T)>"},
        {"fixed-length string", streamed(pad), "<PadMessage (padding=\"xy\")>"},
        {"list of records", streamed(sequences),
         "<LastSequenceIDMessage (feedSeqIDs=[(userID=1 sequenceID=2) (userID=3 sequenceID=4)] "
         "feedID=0 origFeedID=0 sequenceID=7)>"},
        {"decimals raw, int8 as a number, side without a name", streamed(*entry),
         "<MDEntry (price=-9223372036854775805 amount=-1 minAmount=0 updateAction=CHANGE "
         "element= side= source=-1 numberOfOrders=300 components=\"\")>"},
        {"list of strings", streamed(*hierarchy),
         "<TradeHierarchy (userName=\"\" groupNames=[\"g1\" \"\"])>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.text, c.expected);
    }
}

TEST_F(Writer, OffsetMovesTheIndentationOfThePrettyLayout) {
    InBlock<Heartbeat> x;
    x->timeApiServer = 1;
    x->activeFeeds.resize(2);
    const std::string alone = written(*x, true, "", 0);
    EXPECT_EQ(alone, "( timeApiServer=1\n  activeFeeds=[ 0\n" + spaces(16) + "0 ] )");

    const std::string before = "0123456789";
    EXPECT_EQ(written(*x, true, before, 10), before + "( timeApiServer=1\n" + spaces(12) +
                                                 "activeFeeds=[ 0\n" + spaces(26) + "0 ] )");
    // Offset 0 after the same ten characters: indented as if the value began the line.
    EXPECT_EQ(written(*x, true, before, 0), before + alone);
}

TEST_F(Writer, AZeroByteEndsTheStandardStreamTextButNotTheFastOne) {
    InBlock<KeyValuePair> x;
    // key "a\0b", value "c": strings read from bytes keep a NUL.
    ASSERT_EQ(decode(Bytes{3, 'a', 0, 'b', 1, 'c'}, *x), 6u);
    EXPECT_EQ(streamed(*x), "<KeyValuePair (key=\"a>");
    EXPECT_EQ(fast(*x), std::string("<KeyValuePair (key=\"a\0b\" value=\"c\")>", 36));
}

TEST_F(Writer, TextThatDoesNotFitIsCut) {
    LogMessage& m = make<LogMessage>();
    m.description = std::string(70000, 'x');
    const std::string full = fast(m);
    ASSERT_GT(full.size(), 70000u);

    // The standard stream form renders into 65536 bytes, its NUL included.
    const std::string prefix = "<LogMessage ";
    EXPECT_EQ(streamed(m), prefix + full.substr(prefix.size(), 65535) + ">");

    // A FastOStream and the writer stop at the end of their buffer (a heap buffer of exactly
    // that size, so that ASan sees a write past it).
    for (const size_t size : {1, 13, 40, 1000}) {
        SCOPED_TRACE(size);
        std::vector<char> buffer(size);
        FastOStream os(buffer.data(), buffer.data() + buffer.size());
        os << m;
        EXPECT_EQ(std::string(buffer.data(), os.size()), full.substr(0, size));

        std::vector<char> prettyBuffer(size);
        FastOStream pretty(prettyBuffer.data(), prettyBuffer.data() + prettyBuffer.size());
        ACodec codec(pretty);
        AsciiWriter w(codec, true, 0);
        w.dispatch(blockOf(m));
        EXPECT_EQ(std::string(prettyBuffer.data(), pretty.size()),
                  written(m, true, "", 0).substr(0, size));
    }
}
