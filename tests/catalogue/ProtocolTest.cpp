// The catalogue's protocol registry: a descriptor for each generated message class, found by its
// id, the index table, the name, the definition and the signatures.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <regex>
#include <set>
#include <string>

#include "CatalogueTestUtil.h"
#include "framework/MsgDescriptor.h"
#include "framework/MsgProtocol.h"

using namespace Orbanex;
using namespace cattest;

namespace {

class Protocol : public CatalogueTest {};

// The class name without its namespace.
template <class M>
std::string className() {
    const std::string full = ::testing::internal::GetTypeName<M>();
    return full.substr(full.rfind(':') + 1);
}

template <class... M>
void expectEveryMessageRegistered() {
    size_t count = 0;
    const int* index = __protocol->getMessageIndex(count);
    ASSERT_EQ(count, sizeof...(M));
    auto check = [&](Tarvik::MsgType_t id, short messageIndex, const std::string& name) {
        SCOPED_TRACE(name);
        Tarvik::MsgDescriptor* d = __protocol->getDescriptor(id);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->name(), name);
        EXPECT_EQ(d->id(), id);
        EXPECT_EQ(d->index(), messageIndex);
        EXPECT_EQ(d->protocol(), __protocol);
        EXPECT_EQ(__protocol->getMessageName(id), d->name());
        EXPECT_EQ(index[messageIndex], id);
    };
    (check(M::ID, M::INDEX, className<M>()), ...);
}

}  // namespace

TEST_F(Protocol, RegistersEveryMessageClassByIdWithItsNameAndIndex) {
    expectEveryMessageRegistered<OX_CATALOGUE_MESSAGE_TYPES>();

    EXPECT_STREQ(__protocol->getDescriptor(0)->name(), "VersionMessage");
    EXPECT_STREQ(__protocol->getMessageName(0xD020), "LogMessage");
    size_t count = 0;
    const int* index = __protocol->getMessageIndex(count);
    EXPECT_EQ(index[0], 0xD020);
    EXPECT_EQ(index[10], 0);
    EXPECT_EQ(index[59], 0xF204);
}

TEST_F(Protocol, UnknownIdsHaveNoDescriptorAndNoName) {
    for (const Tarvik::MsgType_t id : {3, 0x0003, 0xD021, 0xF205, 0xFFFF}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(__protocol->getDescriptor(id), nullptr);
        EXPECT_EQ(__protocol->getMessageName(id), nullptr);
    }
}

TEST_F(Protocol, NameDefinitionAndSignatures) {
    EXPECT_STREQ(__protocol->getName(), "Orbanex");
    EXPECT_EQ(__protocol->getDefinition(), nullptr);
    size_t size = 0;
    const void* definition = __protocol->getCompressedDefinition(size);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(std::string(static_cast<const char*>(definition)), "(Not supported.)");

    const std::regex hex32("[0-9a-f]{32}");
    const std::set<std::string> signatures = {__protocol->getSignature(),
                                              __protocol->getSignatureAPI(),
                                              __protocol->getSignatureStorage()};
    EXPECT_EQ(signatures.size(), 3u);
    for (const std::string& s : signatures) EXPECT_TRUE(std::regex_match(s, hex32)) << s;
    EXPECT_EQ(__protocol->getSignature(), __protocol->getSignature());
}
