#pragma once

#include <gtest/gtest.h>

#include "framework/MsgControl.h"
#include "framework/MsgType.h"
#include "support/StandInProtocol.h"
#include "support/TestBlock.h"

namespace test_support {

// Brings the stand-in protocol up for each test and down after it.
class StandInTest : public ::testing::Test {
  protected:
    void SetUp() override { StandIn::initialize(); }
    void TearDown() override { StandIn::finalize(); }

    // An empty message of type id at the start of block; site is the caller its allocator names
    // in errors.
    static Tarvik::MsgControl* initMessage(RawBlock& block, Tarvik::MsgType_t id,
                                           const char* site = "test") {
        return Tarvik::MsgControl::initialize(site, block.data(), block.size(), nullptr,
                                              StandIn::__protocol, id);
    }
    // The message object of the block c heads.
    template <typename M>
    static M& message(Tarvik::MsgControl* c) {
        return *reinterpret_cast<M*>(c->getMessageBuffer());
    }

    // A note with every kind of field filled, strings of odd lengths between records included.
    static void fillNote(StandIn::NoteMessage& m) {
        m.timestamp = -1234567890123LL;
        m.title = "title";
        m.secret = "not for casual eyes";
        m.padding.assign("\0\0\0", 3);
        for (int v : {0, -1, 300, 2147483647}) m.values.insert(m.values.end(), 1, v);
        m.entries.resize(2);
        m.entries[0].id = 7;
        m.entries[0].name = "first";
        m.entries[0].tags.resize(3);
        m.entries[0].tags[0] = "a";
        m.entries[0].tags[2] = "ccc";
        m.entries[1].id = -8;
        m.entries[1].name.clear();
        m.points.insert(m.points.end(), 1, StandIn::Point(1, -2));
        m.points.insert(m.points.end(), 1, StandIn::Point(-2147483647 - 1, 2147483647));
    }
};

}  // namespace test_support
