// Properties every generated class must have, checked over the whole generated type list
// through the generated field visitor, so that a class added to the schema is covered by itself.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "ApiTestUtil.h"
#include "api/APIAll.h"
#include "apitest/FieldVisit.h"

using namespace ZURAV;

namespace {

// Walks the fields of a record or message, the records inside it and the elements of its lists;
// Derived::list(v) decides what to do with a list and Derived::leaf(x) with every other field.
template <class Derived>
class Walker {
  public:
    template <class T>
    void operator()(T& x) {
        walk(x, 0);
    }

  protected:
    template <class T>
    void walkElements(std::vector<T>& v) {
        for (T& e : v) walk(e, 0);
    }

  private:
    template <class T>
    auto walk(T& x, int) -> decltype(visitFields(x, *this), void()) {
        visitFields(x, *this);
    }
    template <class T>
    void walk(std::vector<T>& v, int) {
        static_cast<Derived*>(this)->list(v);
    }
    template <class T>
    void walk(T& x, long) {
        static_assert(std::is_arithmetic<T>::value || std::is_enum<T>::value ||
                          std::is_same<T, std::string>::value || std::is_same<T, OXFloat>::value,
                      "a field type the walker does not know");
        static_cast<Derived*>(this)->leaf(x);
    }
};

// Sets every field, lists to two elements, with values that differ from field to field and
// from the start values.
class Filler : public Walker<Filler> {
  public:
    explicit Filler(unsigned seed) : _n(seed) {}

    template <class T>
    void list(std::vector<T>& v) {
        v.resize(2);
        walkElements(v);
    }
    void leaf(std::string& x) { x = "s" + std::to_string(next()); }
    void leaf(OXFloat& x) { x = OXFloat(static_cast<int64_t>(next()) * -1234567891); }
    void leaf(bool& x) { x = true; }
    template <class T>
    void leaf(T& x) {
        if constexpr (std::is_enum<T>::value) {
            x = static_cast<T>(next() % 250 + 1);
        } else {
            // Large magnitudes of both signs, cut to the field's width.
            const unsigned long long n = next();
            x = static_cast<T>((n % 2 ? -1LL : 1LL) *
                               static_cast<long long>(n * 0x9E3779B97ull >> 3));
        }
    }

  private:
    unsigned next() { return ++_n; }

    unsigned _n;
};

// Counts the scalar fields (list elements included) and changes the one numbered `target`.
class Changer : public Walker<Changer> {
  public:
    explicit Changer(int target) : _target(target) {}
    int count() const { return _count; }

    template <class T>
    void list(std::vector<T>& v) {
        walkElements(v);
    }
    template <class T>
    void leaf(T& x) {
        if (_count++ != _target) return;
        if constexpr (std::is_same<T, std::string>::value) {
            x += 'x';
        } else if constexpr (std::is_same<T, OXFloat>::value) {
            x = OXFloat(x.toInt() + 1);
        } else if constexpr (std::is_same<T, bool>::value) {
            x = !x;
        } else if constexpr (std::is_enum<T>::value) {
            x = static_cast<T>(static_cast<unsigned char>(x) + 1);
        } else {
            x = static_cast<T>(x + 1);
        }
    }

  private:
    int _target;
    int _count = 0;
};

// Checks the start values: zero, false, NA, empty.
class StartValues : public Walker<StartValues> {
  public:
    template <class T>
    void list(std::vector<T>& v) {
        EXPECT_TRUE(v.empty());
    }
    void leaf(std::string& x) { EXPECT_TRUE(x.empty()); }
    void leaf(OXFloat& x) { EXPECT_EQ(x.toInt(), iNA); }
    template <class T>
    void leaf(T& x) {
        EXPECT_EQ(x, static_cast<T>(0));
    }
};

template <class T>
T filled(unsigned seed = 0) {
    T x;
    Filler f(seed);
    visitFields(x, f);
    return x;
}

template <class T>
int scalarCount(T x) {
    Changer c(-1);
    visitFields(x, c);
    return c.count();
}

template <class T>
std::string encodeAny(const T& x) {
    if constexpr (std::is_base_of<OXMessage, T>::value) {
        return apitest::encode(x);
    } else {
        return apitest::encodeRecord(x);
    }
}

template <class T>
class EveryClass : public apitest::ApiTest {};

template <class T>
class EveryMessage : public EveryClass<T> {};

template <class... T>
constexpr size_t countOf() {
    return sizeof...(T);
}
static_assert(countOf<ZURAV_API_RECORD_TYPES>() == 37, "every record is covered");
static_assert(countOf<ZURAV_API_MESSAGE_TYPES>() == 41, "every message is covered");

using Classes = ::testing::Types<ZURAV_API_RECORD_TYPES, ZURAV_API_MESSAGE_TYPES>;
using Messages = ::testing::Types<ZURAV_API_MESSAGE_TYPES>;
TYPED_TEST_SUITE(EveryClass, Classes);
TYPED_TEST_SUITE(EveryMessage, Messages);

}  // namespace

TYPED_TEST(EveryClass, StartsAtZeroNAAndEmpty) {
    TypeParam x;
    StartValues check;
    visitFields(x, check);
    const TypeParam y;
    EXPECT_TRUE(x == y);
}

TYPED_TEST(EveryClass, RoundTripWithEveryFieldSet) {
    const TypeParam x = filled<TypeParam>();
    EXPECT_FALSE(x == TypeParam());
    const std::string body = encodeAny(x);
    TypeParam back;
    EXPECT_EQ(apitest::decodeRecord(body, back), body.size());
    EXPECT_TRUE(back == x);
    EXPECT_EQ(encodeAny(back), body);
}

TYPED_TEST(EveryClass, EqualsItsCopyAndIsNotLessThanIt) {
    const TypeParam x = filled<TypeParam>(7);
    const TypeParam copy = x;
    EXPECT_TRUE(x == x);
    EXPECT_FALSE(x < x);
    EXPECT_TRUE(x == copy);
    EXPECT_FALSE(x != copy);
    EXPECT_FALSE(x < copy);
    EXPECT_FALSE(copy < x);
    // Also when nothing was ever set.
    const TypeParam fresh;
    EXPECT_TRUE(fresh == fresh);
    EXPECT_FALSE(fresh < fresh);
}

TYPED_TEST(EveryClass, MovesWithoutThrowingAndKeepsTheValue) {
    // Without nothrow moves a growing std::vector copies every element, strings and lists too.
    static_assert(std::is_nothrow_move_constructible<TypeParam>::value, "moves, never copies");
    static_assert(std::is_nothrow_move_assignable<TypeParam>::value, "moves, never copies");
    TypeParam x = filled<TypeParam>(13);
    const TypeParam copy = x;
    TypeParam moved(std::move(x));
    EXPECT_TRUE(moved == copy);
    TypeParam assigned;
    assigned = std::move(moved);
    EXPECT_TRUE(assigned == copy);
}

TYPED_TEST(EveryClass, EveryFieldTakesPartInComparisonAndEncoding) {
    const TypeParam x = filled<TypeParam>(3);
    const int n = scalarCount(x);
    ASSERT_GT(n, 0);
    for (int k = 0; k < n; ++k) {
        SCOPED_TRACE("scalar field " + std::to_string(k));
        TypeParam y = x;
        Changer change(k);
        visitFields(y, change);
        EXPECT_TRUE(x != y);
        EXPECT_FALSE(x == y);
        EXPECT_NE(x < y, y < x);
        EXPECT_NE(encodeAny(x), encodeAny(y));
    }
}

TYPED_TEST(EveryClass, DumpsOneTextWhateverTheFlagAndOperator) {
    const TypeParam x = filled<TypeParam>(9);
    std::ostringstream compact, pretty, op;
    x.dump(compact, false);
    x.dump(pretty, true);
    op << x;
    const std::string name = ::testing::internal::GetTypeName<TypeParam>();
    const std::string prefix = "<" + name.substr(name.rfind(':') + 1) + " ( ";
    EXPECT_EQ(compact.str().compare(0, prefix.size(), prefix), 0) << compact.str();
    EXPECT_EQ(compact.str().substr(compact.str().size() - 3), " )>");
    EXPECT_EQ(pretty.str(), compact.str());
    EXPECT_EQ(op.str(), compact.str());
}

TYPED_TEST(EveryMessage, FactoryCreatesTheClassForItsId) {
    ShpOXMessage msg = MsgFactory::createMessage(TypeParam::ID);
    ASSERT_TRUE(msg);
    EXPECT_EQ(msg->getMsgType(), TypeParam::ID);
    EXPECT_NE(dynamic_cast<TypeParam*>(msg.get()), nullptr);
    EXPECT_TRUE(msg->getRef<TypeParam>() == TypeParam());
    EXPECT_EQ(TypeParam().getMsgType(), TypeParam::ID);
}

TYPED_TEST(EveryMessage, DecodesExactlyTheWholeBody) {
    const TypeParam x = filled<TypeParam>(11);
    const std::string body = apitest::encode(x);
    ShpOXMessage back = apitest::decode(TypeParam::ID, body);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->getRef<TypeParam>() == x);
    // Every shorter body ends inside a field; no read leaves the given bytes.
    for (size_t n = 0; n < body.size(); ++n) {
        SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
        EXPECT_FALSE(apitest::decode(TypeParam::ID, body.substr(0, n)));
    }
    // Bytes left over mean the body was not one message.
    EXPECT_FALSE(apitest::decode(TypeParam::ID, body + '\0'));
}

TYPED_TEST(EveryMessage, EncodingNeverPassesTheRoom) {
    const TypeParam x = filled<TypeParam>(5);
    const std::string body = apitest::encode(x);
    for (size_t room : {size_t{0}, size_t{1}, body.size() - 1}) {
        if (room >= body.size()) continue;  // a one-byte body fits in one byte
        SCOPED_TRACE(room);
        std::vector<char> buf(room + 1, '#');
        EXPECT_THROW(OXMessage::encodeMessage(x, buf.data(), room), Tarvik::EncodeError);
        EXPECT_EQ(buf[room], '#');
    }
    std::vector<char> exact(body.size());
    EXPECT_EQ(OXMessage::encodeMessage(x, exact.data(), exact.size()), body.size());
}

TEST(DecodeMessage, CountsTheBytesCannotHoldAreRefused) {
    ProtoInit::initialize();
    // userID 0, then a ComplexOrder with one parameter a=b; its count byte is at offset 10.
    const std::string good = apitest::bytes("00 01 6e 02 01 63 00 00 00 04 01 01 61 01 62");
    ASSERT_TRUE(apitest::decode(ComplexOrderMessage::ID, good));
    for (const char* count : {"02", "7f", "ff ff", "80 02"}) {
        SCOPED_TRACE(count);
        const std::string bad = good.substr(0, 10) + apitest::bytes(count) + good.substr(11);
        EXPECT_FALSE(apitest::decode(ComplexOrderMessage::ID, bad));
    }
    // A varint longer than its type allows.
    const std::string longVarint = apitest::bytes("ff ff ff ff ff ff 01") + good.substr(1);
    EXPECT_FALSE(apitest::decode(ComplexOrderMessage::ID, longVarint));
}
