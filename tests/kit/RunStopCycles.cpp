#include "tests/kit/RunStopCycles.h"

#include <gtest/gtest.h>
#include <algorithm>

#include "framework/CBaseObject.h"
#include "tests/kit/TestWait.h"

void ExpectPromptRunStopCycles(TestGraph& graph, int cycles)
{
    // One cycle first: what a graph creates once is not a leak.
    ASSERT_EQ(S_OK, graph.RunAndWait());
    ASSERT_EQ(S_OK, graph.StopAndWait());
    const LONG objects = CBaseObject::ObjectsActive();
    ULONGLONG slowest = 0;
    for (int i = 0; i < cycles; ++i) {
        ASSERT_TRUE(SUCCEEDED(graph.Run())) << i;
        Sleep(i % 10 == 0 ? 20 : 1);
        const ULONGLONG t0 = NowMs();
        ASSERT_EQ(S_OK, graph.StopAndWait(1000)) << i;
        slowest = std::max(slowest, NowMs() - t0);
    }
    EXPECT_LT(slowest, 1000u);
    EXPECT_EQ(objects, CBaseObject::ObjectsActive());
}
