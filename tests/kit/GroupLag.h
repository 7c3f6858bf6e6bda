// How far a view of a synchronised group is from the group's master, judged
// on the stream times of the graph's one clock, so that reading the renderers
// one after the other (late, on a loaded machine) does not count.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/kit/RenderedSample.h"

struct GroupLag {
    // For each frame the master drew in the window: the frame the view was
    // showing at that instant minus the master's frame (kNothingShown when
    // the view had drawn nothing yet).
    std::vector<int> differences;
    std::string text;  // "view/master" for each of those instants
    static constexpr int kNothingShown = -1000000;

    // The median difference: a view whose thread a loaded machine wakes late
    // is off now and then, a view out of step is off throughout.
    int Median() const;
};

// The window is the master's draws with a stream time at or after since.
GroupLag LagBehindMaster(const std::vector<RenderedSample>& master, const std::vector<RenderedSample>& view,
                         REFERENCE_TIME since, const std::function<int(const RenderedSample&)>& frameOf);
