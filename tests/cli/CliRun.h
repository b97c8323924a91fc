// Runs the batch tool as a user would, from a shell, and keeps what it printed.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace zepho::test {

struct CliRun {
    int status = -1;
    std::string out, err;
};

// `env` is put before the command as shell variable assignments.
inline CliRun Cli(const std::string& args, const std::string& env = "") {
    const std::string errFile = testing::TempDir() + "/cli_stderr.txt";
    const std::string cmd = env + " " + std::string(ZEPHO_CLI) + " " + args + " 2>" + errFile;
    CliRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errFile);
    std::stringstream ss;
    ss << e.rdbuf();
    r.err = ss.str();
    return r;
}

} // namespace zepho::test
