// Statistics over samples and the rows of the result table. Rows go to standard output as
// tab-separated fields after a "ROW" tag, so that scripts/bench can merge the native and the JVM
// results into one table; everything else a benchmark prints goes to standard error.
#ifndef OSTRABEL1_BENCH_REPORT_H
#define OSTRABEL1_BENCH_REPORT_H

#include <string>
#include <vector>

namespace bench {

// The sample at fraction p (0..1) of the sorted samples, by nearest rank. NaN for no samples.
double percentile(std::vector<double> samples, double p);
double median(const std::vector<double>& samples);
double maximum(const std::vector<double>& samples);
double minimum(const std::vector<double>& samples);

// 850 ns, 12.4 us, 3.21 ms, 30.002 s: three significant figures or so.
std::string format_ns(double ns);
std::string format_ms(double ms);
std::string format_ratio(double ratio);
std::string format_count(double count);

struct Row {
    std::string line;
    std::string baseline;
    std::string library;
    std::string ratio;
    std::string goal;
    // "ok" when the goal is met, "MISS" when not, "info" for figures without a goal.
    std::string verdict;
};

void print_row(const Row& row);

// A row comparing two times, met when library / baseline stays within `goal_ratio`.
Row time_ratio_row(const std::string& line, double baseline_ns, double library_ns, double goal_ratio);

// A row comparing a count per call with the count the goal allows (met when equal).
Row count_row(const std::string& line, double baseline, double library, double goal);

}  // namespace bench

#endif
