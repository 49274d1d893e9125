// Properties every generated record and message must have, checked over the generated type
// lists through each class's own field list, so that an entry added to the schema is covered by
// itself.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "CatalogueTestUtil.h"
#include "framework/CodecError.h"

using namespace Orbanex;
using namespace cattest;

namespace {

// Checks the start values (zero, false, strings and lists without storage) and counts the bytes
// they encode to: one per field, two for the length of a fixed-length string.
class StartValues : public Walker<StartValues> {
  public:
    template <class L>
    void list(Kind::List, L& x) {
        EXPECT_TRUE(x.empty());
        EXPECT_EQ(x.capacity(), 0u);
        ++bytes;
    }
    template <class K>
    void leaf(K, bufstl::bufstring& x) {
        EXPECT_EQ(test_support::stored(x), "");
        ++strings;
        bytes += std::is_same<K, Kind::FixedString>::value ? 2 : 1;
    }
    template <class K, class T>
    void leaf(K, T& x) {
        EXPECT_EQ(x, static_cast<T>(0));
        ++bytes;
    }

    int strings = 0;
    size_t bytes = 0;
};

// Records carry their smallest body size, messages their id.
template <class T, class = void>
struct IsRecord : std::false_type {};
template <class T>
struct IsRecord<T, std::void_t<decltype(T::MIN_BODY_SIZE)>> : std::true_type {};

template <class T>
int leafCount(T& x) {
    Changer count(-1);
    count.walk(x);
    return count.count();
}

template <class T>
class EveryClass : public CatalogueTest {};

template <class... T>
constexpr size_t countOf() {
    return sizeof...(T);
}
static_assert(countOf<OX_CATALOGUE_ENUM_TYPES>() == 29, "every enumeration is covered");
static_assert(countOf<OX_CATALOGUE_RECORD_TYPES>() == 39, "every record is covered");
static_assert(countOf<OX_CATALOGUE_MESSAGE_TYPES>() == 60, "every message is covered");

using Classes = ::testing::Types<OX_CATALOGUE_RECORD_TYPES, OX_CATALOGUE_MESSAGE_TYPES>;
TYPED_TEST_SUITE(EveryClass, Classes);

template <class... M>
std::vector<int> indexes() {
    return {M::INDEX...};
}
template <class... M>
std::set<int> ids() {
    return {M::ID...};
}

}  // namespace

TYPED_TEST(EveryClass, StartsAtZeroWithoutStorageAndEncodesOneZeroBytePerField) {
    InBlock<TypeParam> x;
    StartValues check;
    check.walk(*x);
    const Bytes body = encode(*x);
    EXPECT_EQ(body, Bytes(check.bytes, 0));
    if constexpr (IsRecord<TypeParam>::value) {
        EXPECT_EQ(body.size(), TypeParam::MIN_BODY_SIZE);
    }
    // Nothing was taken, so nothing is booked as released.
    x.destroy();
    EXPECT_EQ(x.alloc().unused_size(), 0u);
}

TYPED_TEST(EveryClass, RoundTripWithEveryFieldSet) {
    const auto x = filled<TypeParam>(1);
    const Bytes body = encode(**x);
    InBlock<TypeParam> back;
    EXPECT_EQ(decode(body, *back), body.size());
    EXPECT_TRUE(*back == **x);
    EXPECT_EQ(encode(*back), body);
    back->checkbounds(back.begin(), back.end());
}

TYPED_TEST(EveryClass, EveryPrefixOfABodyIsRefused) {
    const auto x = filled<TypeParam>(2);
    const Bytes body = encode(**x);
    for (size_t n = 1; n < body.size(); ++n) {
        SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
        InBlock<TypeParam> back;
        EXPECT_THROW(decode(Bytes(body.begin(), body.begin() + static_cast<long>(n)), *back),
                     Tarvik::DecodeError);
    }
}

TYPED_TEST(EveryClass, AssignmentCopiesIntoTheTargetBlock) {
    const auto x = filled<TypeParam>(3);
    InBlock<TypeParam> copy;
    *copy = **x;
    // Every string and list of the copy lies in the copy's own block.
    copy->checkbounds(copy.begin(), copy.end());
    EXPECT_TRUE(*copy == **x);
    EXPECT_FALSE(*copy != **x);
    EXPECT_FALSE(*copy < **x);
    EXPECT_FALSE(**x < *copy);
    EXPECT_TRUE(**x == **x);
    EXPECT_FALSE(**x != **x);
    EXPECT_FALSE(**x < **x);
    // Changing the copy leaves the original as it was.
    Changer(0).walk(*copy);
    EXPECT_TRUE(*copy != **x);
    EXPECT_EQ(encode(**x), encode(**filled<TypeParam>(3)));
}

TYPED_TEST(EveryClass, EveryFieldTakesPartInComparisonAndEncoding) {
    const auto x = filled<TypeParam>(4);
    const int n = leafCount(**x);
    ASSERT_GT(n, 0);
    for (int k = 0; k < n; ++k) {
        SCOPED_TRACE("leaf " + std::to_string(k));
        InBlock<TypeParam> y;
        *y = **x;
        Changer(k).walk(*y);
        EXPECT_TRUE(**x != *y);
        EXPECT_FALSE(**x == *y);
        EXPECT_NE(**x < *y, *y < **x);
        EXPECT_NE(encode(**x), encode(*y));
    }
}

TYPED_TEST(EveryClass, AFreshObjectWithStringsIsLessThanItsDecodedCopy) {
    InBlock<TypeParam> fresh;
    InBlock<TypeParam> decoded;
    EXPECT_EQ(decode(encode(*fresh), *decoded), encode(*fresh).size());
    StartValues strings;
    strings.walk(*fresh);
    // Unassigned strings (no bytes) against assigned empty ones (one NUL).
    EXPECT_EQ(*fresh != *decoded, strings.strings > 0);
    EXPECT_EQ(*fresh<*decoded, strings.strings> 0);
    EXPECT_FALSE(*decoded < *fresh);
    // A copy by assignment keeps the unassigned form.
    InBlock<TypeParam> copy;
    *copy = *fresh;
    EXPECT_TRUE(*copy == *fresh);
}

TEST(CatalogueMessages, IndexesFollowTheCatalogueOrderAndIdsAreDistinct) {
    std::vector<int> expected(60);
    for (int i = 0; i < 60; ++i) expected[static_cast<size_t>(i)] = i;
    const std::vector<int> found = indexes<OX_CATALOGUE_MESSAGE_TYPES>();
    EXPECT_EQ(found, expected);
    const std::set<int> distinct = ids<OX_CATALOGUE_MESSAGE_TYPES>();
    EXPECT_EQ(distinct.size(), 60u);
    EXPECT_EQ(LogMessage::ID, 0xD020);
    EXPECT_EQ(VersionMessage::ID, 0x0000);
    EXPECT_EQ(VersionMessage::INDEX, 10);
    EXPECT_EQ(RequestMessage::ID, 0xF204);
    EXPECT_EQ(RequestMessage::INDEX, 59);
}
