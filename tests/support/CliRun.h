#pragma once

#include "cli/Cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace karv::test {

/// What one command-line call printed and returned.
struct CliResult {
    int status;
    std::string out;
    std::string err;
};

/// Runs the command line in-process with string streams for standard output and error.
inline CliResult runCli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    karv::cli::CliIo io{out, err, false};
    const int status = karv::cli::runCli(args, io);
    return {status, out.str(), err.str()};
}

} // namespace karv::test
