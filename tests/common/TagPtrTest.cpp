#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "common/TagPtr.h"

using Orbanex::TagPtr;

namespace {

struct Item {
    int value;
};

}  // namespace

TEST(TagPtr, DereferencesAndComparesPointerAndTag) {
    Item a{1}, b{2};
    const TagPtr<Item> p(&a, 7);
    EXPECT_EQ((*p).value, 1);
    EXPECT_EQ(p->value, 1);
    p->value = 5;
    EXPECT_EQ(a.value, 5);

    const struct {
        TagPtr<Item> other;
        bool equal;
    } cases[] = {
        {TagPtr<Item>(&a, 7), true},
        {TagPtr<Item>(&a, 8), false},
        {TagPtr<Item>(&b, 7), false},
        {TagPtr<Item>(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.other.tag());
        EXPECT_EQ(p == c.other, c.equal);
        EXPECT_EQ(p != c.other, !c.equal);
    }
    EXPECT_TRUE(TagPtr<Item>() == TagPtr<Item>(nullptr, 0));
}

TEST(TagPtr, SettersReplacePointerAndTagTogether) {
    Item a{1}, b{2};
    TagPtr<Item> p;
    p.donotuse_set(&a, 3);
    EXPECT_EQ(p, TagPtr<Item>(&a, 3));

    p.atomic_set(&b, 9);
    EXPECT_EQ(p, TagPtr<Item>(&b, 9));
    p.atomic_set(TagPtr<Item>(nullptr, 4));
    EXPECT_EQ(p, TagPtr<Item>(nullptr, 4));
    EXPECT_TRUE(p.isnull());

    // The form with a whole desired value swaps only from the expected one.
    EXPECT_FALSE(p.cas(TagPtr<Item>(nullptr, 5), TagPtr<Item>(&a, 1)));
    EXPECT_EQ(p, TagPtr<Item>(nullptr, 4));
    EXPECT_TRUE(p.cas(TagPtr<Item>(nullptr, 4), TagPtr<Item>(&a, 1)));
    EXPECT_EQ(p, TagPtr<Item>(&a, 1));
}

// Writers set pairs whose tag names their pointer; a reader that confirms what it read with a
// compare-and-swap of the value onto itself must always see a matching pair. The reader goes on
// until the writers are done and it has confirmed at least one value.
TEST(TagPtrThreads, AtomicSetNeverMixesHalves) {
    Item items[2] = {{0}, {1}};
    alignas(16) TagPtr<Item> shared(&items[0], 0);
    std::atomic<int> writersDone{0};
    std::vector<std::thread> writers;
    for (uintptr_t w = 0; w < 2; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < 20000; ++i) shared.atomic_set(&items[w], w);
            writersDone.fetch_add(1);
        });
    }
    int confirmed = 0, mixed = 0;
    while (writersDone.load() < 2 || confirmed == 0) {
        const TagPtr<Item> seen = shared.load();
        if (!shared.cas(seen, seen)) continue;
        ++confirmed;
        if (seen.tag() > 1 || seen.get() != &items[seen.tag()]) ++mixed;
    }
    for (std::thread& t : writers) t.join();
    EXPECT_EQ(mixed, 0);
}
