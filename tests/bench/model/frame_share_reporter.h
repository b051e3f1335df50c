// The console table of Google Benchmark plus, per benchmark, its processor time as a share of one
// 60 Hz frame (16.7 ms), the budget the saver draws in.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
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

// A benchmark program's main: runs the benchmarks the command line selects with the reporter
// above, then `after` (figures printed outside Google Benchmark's timing).
inline int RunWithFrameShares(int argc, char** argv, const std::function<void()>& after = {}) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FrameShareReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (after) after();
    benchmark::Shutdown();
    return 0;
}

}  // namespace bench
