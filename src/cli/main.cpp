#include "cli/Cli.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

void onInterrupt(int) {
    karv::cli::requestInterrupt();
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);

    std::vector<std::string> args(argv + 1, argv + argc);
    karv::cli::CliIo io{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
    const int status = karv::cli::runCli(args, io);
    std::cout.flush();
    return status;
}
