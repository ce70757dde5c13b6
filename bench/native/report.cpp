#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace bench {

double percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(samples.size())));
    return samples[rank == 0 ? 0 : std::min(rank, samples.size()) - 1];
}

double median(const std::vector<double>& samples) { return percentile(samples, 0.5); }

double maximum(const std::vector<double>& samples) { return percentile(samples, 1.0); }

double minimum(const std::vector<double>& samples) { return percentile(samples, 0.0); }

namespace {

std::string printf_string(const char* format, double value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, format, value, unit);
    return text;
}

}  // namespace

std::string format_ns(double ns) {
    if (std::isnan(ns)) return "n/a";
    const double magnitude = std::fabs(ns);
    if (magnitude < 1e3) return printf_string("%.0f %s", ns, "ns");
    if (magnitude < 1e6) return printf_string("%.2f %s", ns / 1e3, "us");
    if (magnitude < 1e9) return printf_string("%.3f %s", ns / 1e6, "ms");
    return printf_string("%.4f %s", ns / 1e9, "s");
}

std::string format_ms(double ms) { return std::isnan(ms) ? "n/a" : printf_string("%.3f %s", ms, "ms"); }

std::string format_ratio(double ratio) {
    return std::isnan(ratio) ? "n/a" : printf_string("%.3f%s", ratio, "x");
}

std::string format_count(double count) {
    if (std::isnan(count)) return "n/a";
    return printf_string(count == std::floor(count) ? "%.0f%s" : "%.2f%s", count, "");
}

void print_row(const Row& row) {
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", row.line.c_str(), row.baseline.c_str(), row.library.c_str(),
                row.ratio.c_str(), row.goal.c_str(), row.verdict.c_str());
    std::fflush(stdout);
}

Row time_ratio_row(const std::string& line, double baseline_ns, double library_ns, double goal_ratio) {
    const double ratio = library_ns / baseline_ns;
    const bool measured = !std::isnan(ratio);
    return {line,
            format_ns(baseline_ns),
            format_ns(library_ns),
            format_ratio(ratio),
            "<= " + format_ratio(goal_ratio),
            !measured ? "n/a" : ratio <= goal_ratio ? "ok" : "MISS"};
}

Row count_row(const std::string& line, double baseline, double library, double goal) {
    const bool measured = !std::isnan(library);
    return {line,          format_count(baseline),
            format_count(library), "",
            format_count(goal),    !measured ? "n/a" : library == goal ? "ok" : "MISS"};
}

}  // namespace bench
