#include "tests/kit/GroupLag.h"

#include <algorithm>

int GroupLag::Median() const
{
    if (differences.empty())
        return kNothingShown;
    std::vector<int> sorted = differences;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    return sorted[sorted.size() / 2];
}

GroupLag LagBehindMaster(const std::vector<RenderedSample>& master, const std::vector<RenderedSample>& view,
                         REFERENCE_TIME since, const std::function<int(const RenderedSample&)>& frameOf)
{
    GroupLag lag;
    for (const RenderedSample& drawn : master) {
        if (!drawn.streamTimeValid || drawn.streamTime < since)
            continue;
        const RenderedSample* showing = nullptr;
        for (const RenderedSample& sample : view) {
            if (sample.streamTimeValid && sample.streamTime <= drawn.streamTime)
                showing = &sample;
        }
        const int frame = frameOf(drawn);
        const int difference = showing ? frameOf(*showing) - frame : GroupLag::kNothingShown;
        lag.differences.push_back(difference);
        lag.text += " " + (showing ? std::to_string(frameOf(*showing)) : std::string("-")) + "/" +
                    std::to_string(frame);
    }
    return lag;
}
