// The console table of Google Benchmark plus, per benchmark, its processor time as a share of one
// 60 Hz frame (16.7 ms), the budget the saver draws in.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace bench {

inline constexpr double kFrameMicroseconds = 16667.0;

class FrameShareReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const double microseconds = run.GetAdjustedCPUTime() * 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            std::printf("    %-32s %11.2f us = %7.3f %% of a 16.7 ms frame\n", run.benchmark_name().c_str(),
                        microseconds, 100.0 * microseconds / kFrameMicroseconds);
        }
    }
};

}  // namespace bench
