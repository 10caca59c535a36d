#include "cli/Cli.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

void onInterrupt(int signal) {
    karv::cli::requestInterrupt(signal);
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // A terminal closed or a service stopped ends a run as Ctrl+C does: the current file finished,
    // the logs closed.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    std::vector<std::string> args(argv + 1, argv + argc);
    karv::cli::CliIo io{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, true};
    const int status = karv::cli::runCli(args, io);
    std::cout.flush();
    return status;
}
