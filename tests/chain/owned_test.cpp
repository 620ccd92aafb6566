// The owner of an object with a destroy function: each object destroyed once,
// by its last owner, and never after it was handed over.
#include <gtest/gtest.h>

#include "internal/owned.h"

#include <functional>
#include <utility>
#include <vector>

namespace {

struct Thing {
    int id;
};

std::vector<int> g_destroyed;
void destroy_thing(Thing* thing) { g_destroyed.push_back(thing->id); }

using OwnedThing = merrow1::Owned<Thing, destroy_thing>;

TEST(Owned, EachObjectDestroyedOnceByItsLastOwner) {
    Thing a{1}, b{2};
    const struct {
        const char* name;
        std::function<void()> run;
        std::vector<int> destroyed;
    } cases[] = {
        {"scope exit", [&] { OwnedThing owned(&a); }, {1}},
        {"null owns nothing", [&] { OwnedThing owned(nullptr); }, {}},
        {"release hands over",
         [&] {
             OwnedThing owned(&a);
             EXPECT_EQ(owned.release(), &a);
             EXPECT_EQ(owned.get(), nullptr);
         },
         {}},
        {"reset destroys now, then owns the new one",
         [&] {
             OwnedThing owned(&a);
             owned.reset(&b);
             EXPECT_EQ(g_destroyed, std::vector<int>{1});
         },
         {1, 2}},
        {"reset twice destroys once",
         [&] {
             OwnedThing owned(&a);
             owned.reset();
             owned.reset();
         },
         {1}},
        {"move construction",
         [&] {
             OwnedThing from(&a);
             OwnedThing to(std::move(from));
             EXPECT_EQ(from.get(), nullptr);
             EXPECT_EQ(to.get(), &a);
         },
         {1}},
        {"move assignment destroys what the target held",
         [&] {
             OwnedThing from(&a);
             OwnedThing to(&b);
             to = std::move(from);
             EXPECT_EQ(g_destroyed, std::vector<int>{2});
             EXPECT_EQ(to.get(), &a);
         },
         {2, 1}},
        {"exception passing",
         [&] {
             try {
                 OwnedThing owned(&a);
                 throw 1;
             } catch (int) {
             }
         },
         {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_destroyed.clear();
        c.run();
        EXPECT_EQ(g_destroyed, c.destroyed);
    }
}

}  // namespace
