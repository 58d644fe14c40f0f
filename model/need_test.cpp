#include <gtest/gtest.h>

#include "model/need.h"

namespace tlvx {
namespace {

class TThing : public virtual RefCounted {
public:
    int Value() const { return 42; }
};

TEST(NeedTest, AbsentObjectsRaiseInsteadOfCrashing) {
    Ref<TThing> none;
    try {
        Need(none, "skins root").Value();
        FAIL() << "no exception";
    } catch (const ENilObject& e) {
        EXPECT_STREQ(e.what(), "Absent object: skins root");
    }
    TThing* raw = nullptr;
    EXPECT_THROW(Need(raw, "atom"), ENilObject);

    Ref<TThing> some = MakeRef<TThing>();
    EXPECT_EQ(Need(some, "thing").Value(), 42);
    EXPECT_EQ(&Need(some.get(), "thing"), some.get());
}

}  // namespace
}  // namespace tlvx
