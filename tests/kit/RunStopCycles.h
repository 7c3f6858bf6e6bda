// Run/Stop cycles of a built graph with data flowing: every Stop returns
// within a second and no framework object is left behind.
#pragma once

#include "tests/kit/TestGraph.h"

void ExpectPromptRunStopCycles(TestGraph& graph, int cycles);
