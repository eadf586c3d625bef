// The figures the benchmarks report.
#pragma once

#include <QtGlobal>
#include <algorithm>
#include <vector>

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline double best(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

inline double ms(qint64 nanos) { return static_cast<double>(nanos) / 1e6; }
