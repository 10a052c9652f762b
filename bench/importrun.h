// SPDX-License-Identifier: GPL-3.0-or-later
// A builder run as the import benchmarks time it: a child process, its wall time and peak memory.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velmora::bench {

struct Run {
    double seconds;
    long peakKiB;
    int status;
    double cpuSeconds;  // user and system: what a loaded machine does not inflate
};

// Runs `argv` with its standard output and error sent to `log`; its wall and processor time and
// peak RSS.
Run run(const std::vector<std::string>& argv, const std::filesystem::path& log);

// run(), ending the benchmark with the first line of `log` when the builder fails.
Run runBuilder(const std::vector<std::string>& argv, const std::filesystem::path& log);

// The first line of `log`, without its line end.
std::string firstLine(const std::filesystem::path& log);

// The median of `values` (which it sorts).
double median(std::vector<double>& values);

}  // namespace velmora::bench
