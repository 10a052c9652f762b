// SPDX-License-Identifier: GPL-3.0-or-later
#include "importrun.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace velmora::bench {

Run run(const std::vector<std::string>& argv, const std::filesystem::path& log) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::FILE* out = std::freopen(log.c_str(), "w", stdout);
        if (!out || ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0) _exit(127);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const auto cpu = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {seconds, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128,
            cpu(usage.ru_utime) + cpu(usage.ru_stime)};
}

Run runBuilder(const std::vector<std::string>& argv, const std::filesystem::path& log) {
    const Run r = run(argv, log);
    if (r.status != 0) {
        std::fprintf(stderr, "velmora_fdcbench: velmora-mkdb failed: %s\n", firstLine(log).c_str());
        std::exit(1);
    }
    return r;
}

std::string firstLine(const std::filesystem::path& log) {
    std::FILE* in = std::fopen(log.c_str(), "r");
    char line[1024] = "";
    if (in) {
        if (!std::fgets(line, sizeof line, in)) line[0] = '\0';
        std::fclose(in);
    }
    std::string text = line;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

double median(std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace velmora::bench
