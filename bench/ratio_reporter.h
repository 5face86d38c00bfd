// The benchmarks' console reporter: the usual output, then a table of
// ratios against the reference measured in the same run.
#ifndef EAPAKA_BENCH_RATIO_REPORTER_H
#define EAPAKA_BENCH_RATIO_REPORTER_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Console output as usual, plus a ratio table: each "<op>/eapaka" CPU time
// over every "<op>/openssl*" CPU time of the same run (CPU rather than wall
// time, so that other load on the machine does not skew a pair).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const std::string name = run.benchmark_name();
                if (times_.count(name) == 0) order_.push_back(name);
                times_[name] = run.GetAdjustedCPUTime();
            }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-26s %-26s %8s\n", "operation", "reference", "ratio");
        for (const std::string& name : order_) {
            const size_t slash = name.find('/');
            if (name.compare(slash + 1, std::string::npos, "eapaka") != 0) continue;
            const std::string op = name.substr(0, slash);
            for (const std::string& ref : order_) {
                if (ref.compare(0, op.size() + 8, op + "/openssl") != 0) continue;
                std::printf("%-26s %-26s %7.2fx\n", op.c_str(), ref.substr(slash + 1).c_str(),
                            times_[name] / times_[ref]);
            }
        }
    }

private:
    std::vector<std::string> order_;
    std::map<std::string, double> times_;
};

// The body of a benchmark program's main once its benchmarks are registered:
// runs them with the ratio reporter; 1 on an unrecognised argument.
inline int run_benchmarks_with_ratios(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

#endif
