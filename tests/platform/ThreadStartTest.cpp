// Threads started with a priority: lowering always works, and it is the new thread's alone.
#include "ThreadStart.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vornak {
namespace {

int OwnNice() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

TEST(ThreadStart, LowestRunsBelowTheStartingThreadWhichKeepsItsPriority) {
    const int before = OwnNice();
    if (before >= 19) {
        GTEST_SKIP() << "already at the lowest priority";
    }
    int inside = before;
    StartThread(ThreadPriority::Lowest, [&] { inside = OwnNice(); }).join();
    EXPECT_GT(inside, before);
    EXPECT_EQ(OwnNice(), before);

    int normal = -100;
    StartThread(ThreadPriority::Normal, [&] { normal = OwnNice(); }).join();
    EXPECT_EQ(normal, before);
}

}  // namespace
}  // namespace vornak
