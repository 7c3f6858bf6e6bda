// Timing helpers for the benchmarks: best and median of repeated runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace v77bench {

inline double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Timing {
    std::vector<double> seconds;
    void Add(double s) { seconds.push_back(s); }
    double Best() const { return *std::min_element(seconds.begin(), seconds.end()); }
    double Median() const
    {
        std::vector<double> s = seconds;
        std::sort(s.begin(), s.end());
        return s[s.size() / 2];
    }
};

// Keeps results observable so the compiler cannot drop the work.
inline void Consume(const void* p)
{
    asm volatile("" : : "r"(p) : "memory");
}

} // namespace v77bench
