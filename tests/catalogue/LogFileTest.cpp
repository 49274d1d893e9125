// A binary message log file of real catalogue messages: every message type written with
// msgWrite, walked with MsgIterator over the catalogue's protocol and decoded back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "CatalogueTestUtil.h"
#include "framework/MsgControl.h"
#include "framework/MsgLogFile.h"

using namespace Orbanex;
using namespace cattest;
using Tarvik::MsgControl;
using Tarvik::MsgIterator;
using Tarvik::MsgLogFile;
using test_support::RawBlock;

namespace {

constexpr size_t BLOCK_SIZE = 1 << 16;

class LogFile : public CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        char dir[] = "/tmp/cataloguelog.XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        _dir = dir;
        _path = _dir + "/messages.dat";
    }
    void TearDown() override {
        ::unlink(_path.c_str());
        ::rmdir(_dir.c_str());
        CatalogueTest::TearDown();
    }

    template <class M>
    struct Made {
        char* block;
        const M* message;
    };

    // A message of type M filled from seed, in a block of its own set up through the catalogue.
    template <class M>
    Made<M> make(unsigned seed) {
        _blocks.push_back(std::make_unique<RawBlock>(BLOCK_SIZE));
        char* block = _blocks.back()->data();
        MsgControl* c =
            MsgControl::initialize("LogFileTest", block, BLOCK_SIZE, nullptr, __protocol, M::ID);
        M& m = *reinterpret_cast<M*>(c->getMessageBuffer());
        Filler(seed).walk(m);
        return {block, &m};
    }

    // Reads the current record into a new block, checks it against the original and moves on.
    template <class M>
    void expectRecord(MsgIterator& it, const M& original) {
        SCOPED_TRACE(__protocol->getMessageName(M::ID));
        ASSERT_FALSE(it.done());
        EXPECT_EQ(it.id(), M::ID);
        RawBlock block(BLOCK_SIZE);
        MsgControl* c = it.decode(block.data(), block.size());
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->getDescriptor(), __protocol->getDescriptor(M::ID));
        EXPECT_EQ(c->getIndex(), M::INDEX);
        EXPECT_TRUE(*reinterpret_cast<const M*>(c->getMessageBuffer()) == original);
        ++it;
    }

    template <class... M>
    void writeAndReadBack() {
        // Different values in every message, so that a record read in place of another fails.
        const std::tuple<Made<M>...> originals{make<M>(1000u * (M::INDEX + 1))...};
        {
            std::ofstream out(_path, std::ios::binary);
            (Tarvik::msgWrite(std::get<Made<M>>(originals).block, out), ...);
            ASSERT_TRUE(out.good());
        }
        std::unique_ptr<MsgLogFile> file(MsgLogFile::open(_path.c_str(), __protocol));
        ASSERT_NE(file, nullptr);
        MsgIterator it(file.get());
        (expectRecord(it, *std::get<Made<M>>(originals).message), ...);
        EXPECT_TRUE(it.done());
    }

    std::string _dir;
    std::string _path;
    std::vector<std::unique_ptr<RawBlock>> _blocks;
};

}  // namespace

TEST_F(LogFile, EveryMessageTypeWrittenReadsBackEqualThroughTheRegistry) {
    writeAndReadBack<OX_CATALOGUE_MESSAGE_TYPES>();
}
