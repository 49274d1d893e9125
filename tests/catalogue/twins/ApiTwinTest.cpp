// The entries both models share come from the same schema entries, so their bytes are equal by
// construction. Proven here over the generated lists of twins: each pair is filled with the same
// values through both models, and the two encodings must be the same bytes and decode in the
// other model to the same values.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "../CatalogueTestUtil.h"
#include "api/APIAll.h"
#include "apitest/FieldVisit.h"

namespace {

using cattest::Bytes;
using cattest::InBlock;
using cattest::Values;

// Sets every field of an API record or message, lists to two elements, drawing its values from
// Values in field order exactly as cattest::Filler does for the catalogue.
class ApiFiller {
  public:
    explicit ApiFiller(unsigned seed) : _values(seed) {}

    template <class T>
    void operator()(T& x) {
        fill(x, 0);
    }

  private:
    template <class T>
    auto fill(T& x, int) -> decltype(ZURAV::visitFields(x, *this), void()) {
        ZURAV::visitFields(x, *this);
    }
    template <class T>
    void fill(std::vector<T>& v, int) {
        v.resize(2);
        for (T& e : v) fill(e, 0);
    }
    template <class T>
    void fill(T& x, long) {
        if constexpr (std::is_same<T, std::string>::value) {
            x = _values.text();
        } else if constexpr (std::is_same<T, ZURAV::OXFloat>::value) {
            x = ZURAV::OXFloat(_values.decimal());
        } else if constexpr (std::is_same<T, bool>::value) {
            x = _values.flag();
        } else if constexpr (std::is_enum<T>::value) {
            x = static_cast<T>(_values.enumByte());
        } else {
            static_assert(std::is_integral<T>::value, "a field type the filler does not know");
            x = static_cast<T>(_values.integer());
        }
    }

    Values _values;
};

template <class Api, class Cat>
struct Twin {
    typedef Api ApiType;
    typedef Cat CatalogueType;
};
#define OX_TWIN(name) Twin<ZURAV::name, Orbanex::name>

template <class T>
class TwinFixture : public cattest::CatalogueTest {
  protected:
    void SetUp() override {
        cattest::CatalogueTest::SetUp();
        ZURAV::ProtoInit::initialize();
    }
};

template <class T>
class TwinMessages : public TwinFixture<T> {};
template <class T>
class TwinRecords : public TwinFixture<T> {};
template <class T>
class TwinEnums : public TwinFixture<T> {};

template <class... T>
constexpr size_t countOf() {
    return sizeof...(T);
}
static_assert(countOf<OX_TWIN_MESSAGES(OX_TWIN)>() == 41, "every twin message is covered");
static_assert(countOf<OX_TWIN_RECORDS(OX_TWIN)>() == 37, "every twin record is covered");
static_assert(countOf<OX_TWIN_ENUMS(OX_TWIN)>() == 25, "every twin enumeration is covered");

TYPED_TEST_SUITE(TwinMessages, ::testing::Types<OX_TWIN_MESSAGES(OX_TWIN)>);
TYPED_TEST_SUITE(TwinRecords, ::testing::Types<OX_TWIN_RECORDS(OX_TWIN)>);
TYPED_TEST_SUITE(TwinEnums, ::testing::Types<OX_TWIN_ENUMS(OX_TWIN)>);

template <class T>
Bytes apiBody(const T& x) {
    return test_support::encode([&](Tarvik::FastCodec& c) { x.write(&c); });
}

}  // namespace

TYPED_TEST(TwinMessages, SameValuesGiveTheSameBytesInBothModels) {
    using Api = typename TypeParam::ApiType;
    using Cat = typename TypeParam::CatalogueType;
    EXPECT_EQ(Api::ID, Cat::ID);
    Api api;
    ApiFiller filler(17);
    filler(api);
    InBlock<Cat> cat;
    cattest::Filler(17).walk(*cat);
    const Bytes body = apiBody(api);
    ASSERT_EQ(test_support::hex(cattest::encode(*cat)), test_support::hex(body));

    // Each model reads the other's bytes back to the same values.
    InBlock<Cat> catBack;
    EXPECT_EQ(cattest::decode(body, *catBack), body.size());
    EXPECT_TRUE(*catBack == *cat);
    std::vector<char> bytes(body.begin(), body.end());
    const ZURAV::ShpOXMessage apiBack =
        ZURAV::OXMessage::decodeMessage(Cat::ID, bytes.data(), bytes.size());
    ASSERT_TRUE(apiBack);
    EXPECT_TRUE(apiBack->template getRef<Api>() == api);
}

TYPED_TEST(TwinRecords, SameValuesGiveTheSameBytesInBothModels) {
    using Api = typename TypeParam::ApiType;
    using Cat = typename TypeParam::CatalogueType;
    Api api;
    ApiFiller filler(23);
    filler(api);
    InBlock<Cat> cat;
    cattest::Filler(23).walk(*cat);
    EXPECT_EQ(test_support::hex(cattest::encode(*cat)), test_support::hex(apiBody(api)));
}

TYPED_TEST(TwinEnums, SameNamesValuesAndOrder) {
    using Api = typename TypeParam::ApiType;
    using Cat = typename TypeParam::CatalogueType;
    EXPECT_STREQ(Api::Name, Cat::Name);
    ASSERT_EQ(Api::_maxValue, Cat::_maxValue);
    ASSERT_EQ(Api::_nbValues, Cat::_nbValues);
    for (unsigned int i = 0; i < Cat::_nbValues; ++i) {
        const unsigned char index = static_cast<unsigned char>(i);
        EXPECT_EQ(static_cast<int>(Api::fromIndex(index)), static_cast<int>(Cat::fromIndex(index)));
    }
    for (int v = 0; v < 256; ++v) {
        const unsigned char b = static_cast<unsigned char>(v);
        SCOPED_TRACE(v);
        ASSERT_EQ(Api::isValid(b), Cat::isValid(b));
        if (Cat::isValid(b)) {
            EXPECT_STREQ(Api::toString(b), Cat::toString(b));
        }
    }
}

// The client sends the API model's signature; the catalogue's registry answers the same text.
class TwinSignature : public cattest::CatalogueTest {};

TEST_F(TwinSignature, TheApiSignatureIsTheCataloguesApiSignature) {
    EXPECT_STREQ(ZURAV::API_SIGNATURE, Orbanex::__protocol->getSignatureAPI());
    EXPECT_EQ(std::string(ZURAV::API_SIGNATURE).size(), 32u);
}
