#include "platform/lock.h"

#include <gtest/gtest.h>

#include <thread>

namespace tlvx {
namespace {

TEST(CriticalSection, ReentersAndExcludesOtherThreads) {
    TCriticalSection cs;
    TCriticalSectionGuard outer(cs);
    {
        TCriticalSectionGuard inner(cs);  // the owner enters again
        bool otherGotIn = true;
        std::thread([&] { otherGotIn = cs.TryEnter(); }).join();
        EXPECT_FALSE(otherGotIn);
    }
    EXPECT_TRUE(cs.TryEnter());
    cs.Leave();
}

}  // namespace
}  // namespace tlvx
