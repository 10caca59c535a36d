#include "cli/Cli.h"
#include "text/TextLoader.h"

#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace karv::cli {

namespace {

constexpr std::string_view kViewHelp = R"(usage: karv-tessil-cli view [--encoding] FILE

Loads FILE as the viewer does (gzip, byte-order marks, HTML meta charset, UTF-8 test, else ANSI)
and writes its text as UTF-8 to standard output.

  --encoding   write only the detected encoding's name ("ANSI", "UTF-8", "Unicode",
               "Unicode BE", "Big5", "Big5-HKSCS") and a line feed
)";

/// Why FILE cannot be viewed, or empty when it can be read.
std::string unreadableReason(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return "cannot find '" + path + "'";
    if (!S_ISREG(info.st_mode))
        return "'" + path + "' is not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return "cannot read '" + path + "'";
    ::close(fd);
    return {};
}

} // namespace

int viewCommand(const std::vector<std::string>& args, CliIo& io) {
    constexpr std::string_view cmd = "view";
    bool encodingOnly = false;
    std::string file;
    bool haveFile = false;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            io.out << kViewHelp;
            return kExitOk;
        }
        if (!optionsEnded && arg == "--encoding") {
            encodingOnly = true;
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return usageError(io, cmd, "unknown option '" + arg + "'");
        } else if (haveFile) {
            return usageError(io, cmd, "only one FILE can be viewed");
        } else {
            file = arg;
            haveFile = true;
        }
    }
    if (!haveFile || file.empty())
        return usageError(io, cmd, "missing FILE");
    if (const std::string reason = unreadableReason(file); !reason.empty())
        return usageError(io, cmd, reason);

    const LoadedText loaded = loadFileText(file);
    if (encodingOnly)
        io.out << encodingDisplayName(loaded.encodingCode) << '\n';
    else
        io.out << loaded.text;
    return kExitOk;
}

} // namespace karv::cli
