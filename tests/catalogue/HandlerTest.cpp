// The catalogue's handler base: dispatch of a message block to the handle of its type, chosen by
// the catalogue index in the block's control header.
#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "CatalogueTestUtil.h"
#include "framework/MsgControl.h"
#include "framework/MsgDescriptorT.h"
#include "framework/MsgProtocol.h"

using namespace Orbanex;
using namespace cattest;
using Tarvik::MsgControl;
using test_support::RawBlock;

namespace {

constexpr size_t BLOCK_SIZE = 1 << 16;

// Overrides the handle of every type in M..., each recording the INDEX of its type and the
// address it was given; handleDefault counts.
template <class... M>
class Recorder;

template <>
class Recorder<> : public MsgHandler {
  public:
    void handleDefault() override { ++defaults; }

    std::vector<std::pair<int, const void*>> seen;
    int defaults = 0;
};

template <class M, class... Rest>
class Recorder<M, Rest...> : public Recorder<Rest...> {
  public:
    using Recorder<Rest...>::handle;
    void handle(const M& m) override { this->seen.emplace_back(M::INDEX, &m); }
};

class LogOnly : public MsgHandler {
  public:
    using MsgHandler::handle;
    void handle(const LogMessage&) override { ++logs; }
    void handleDefault() override { ++defaults; }

    int logs = 0;
    int defaults = 0;
};

class DefaultOnly : public MsgHandler {
  public:
    void handleDefault() override { ++defaults; }

    int defaults = 0;
};

class Handler : public CatalogueTest {
  protected:
    // Dispatches a block of each type of M..., in order, to every handler; returns the address
    // of each message.
    template <class... M, class... H>
    std::vector<const void*> dispatchEach(H&... handlers) {
        std::vector<const void*> messages;
        auto one = [&](Tarvik::MsgType_t id) {
            RawBlock block(BLOCK_SIZE);
            MsgControl* c = MsgControl::initialize("HandlerTest", block.data(), block.size(),
                                                   nullptr, __protocol, id);
            messages.push_back(c->getMessageBuffer());
            (handlers.dispatch(block.data()), ...);
        };
        (one(M::ID), ...);
        return messages;
    }
};

template <class... M>
std::vector<std::pair<int, const void*>> expectedCalls(const std::vector<const void*>& messages) {
    std::vector<std::pair<int, const void*>> calls;
    for (const int index : {M::INDEX...}) calls.emplace_back(index, messages[calls.size()]);
    return calls;
}

// A protocol of one descriptor, for LogMessage, that reports the id and index it is given: the
// blocks it sets up carry them in their control header.
class Relabelled : public Tarvik::MsgProtocol {
  public:
    Relabelled(Tarvik::MsgType_t id, short index) : _descriptor(this, id, index) {}

    const char* getName() const override { return "Relabelled"; }
    Tarvik::MsgDescriptor* getDescriptor(Tarvik::MsgType_t) const override {
        return const_cast<Descriptor*>(&_descriptor);
    }
    const void* getCompressedDefinition(size_t& size) const override {
        size = 0;
        return "";
    }
    const char* getSignature() const override { return ""; }
    const char* getSignatureAPI() const override { return ""; }
    const char* getSignatureStorage() const override { return ""; }
    const int* getMessageIndex(size_t& count) const override {
        count = 0;
        return nullptr;
    }
    const char* getMessageName(Tarvik::MsgType_t) const override { return "LogMessage"; }

  private:
    class Descriptor : public Tarvik::MsgDescriptorT<LogMessage> {
      public:
        Descriptor(MsgProtocol* p, Tarvik::MsgType_t id, short index)
            : MsgDescriptorT("LogMessage", p), _id(id), _index(index) {}
        Tarvik::MsgType_t id() const override { return _id; }
        short index() const override { return _index; }

      private:
        Tarvik::MsgType_t _id;
        short _index;
    };

    Descriptor _descriptor;
};

}  // namespace

TEST_F(Handler, EveryTypeReachesItsOwnHandleWithTheMessageOfTheBlock) {
    Recorder<OX_CATALOGUE_MESSAGE_TYPES> recorder;
    const std::vector<const void*> messages = dispatchEach<OX_CATALOGUE_MESSAGE_TYPES>(recorder);
    const auto expected = expectedCalls<OX_CATALOGUE_MESSAGE_TYPES>(messages);
    EXPECT_EQ(recorder.seen, expected);
    EXPECT_EQ(recorder.defaults, 0);
}

TEST_F(Handler, TypesNotHandledGoToHandleDefault) {
    LogOnly logOnly;
    DefaultOnly defaultOnly;
    MsgHandler plain;  // does nothing with any of them
    dispatchEach<OX_CATALOGUE_MESSAGE_TYPES>(logOnly, defaultOnly, plain);
    EXPECT_EQ(logOnly.logs, 1);
    EXPECT_EQ(logOnly.defaults, 59);
    EXPECT_EQ(defaultOnly.defaults, 60);
}

TEST_F(Handler, SelectsByTheIndexInTheBlockAndIgnoresOneOutsideTheTable) {
    struct Case {
        Tarvik::MsgType_t id;
        short index;
        bool handled;
    };
    const Case cases[] = {
        {LogMessage::ID, 0, true},   {0x1234, 0, true},  // the id plays no part
        {LogMessage::ID, 60, false}, {LogMessage::ID, -1, false}, {LogMessage::ID, 32767, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        SCOPED_TRACE(c.id);
        Relabelled protocol(c.id, c.index);
        RawBlock block(BLOCK_SIZE);
        MsgControl* control = MsgControl::initialize("HandlerTest", block.data(), block.size(),
                                                     nullptr, &protocol, c.id);
        ASSERT_EQ(control->getIndex(), c.index);
        LogOnly handler;
        handler.dispatch(block.data());
        EXPECT_EQ(handler.logs, c.handled ? 1 : 0);
        EXPECT_EQ(handler.defaults, 0);
    }
}
