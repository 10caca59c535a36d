#include "cli/Cli.h"
#include "files/FileFacts.h"
#include "text/FileKind.h"
#include "text/TextLoader.h"
#include "text/ViewTexts.h"

#include <cerrno>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace karv::cli {

namespace {

constexpr std::string_view kViewHelp = R"(usage: karv-tessil-cli view [--encoding] FILE

Loads FILE as the viewer does (gzip, byte-order marks, HTML meta charset, UTF-8 test, else ANSI)
and writes its text as UTF-8 to standard output. A file that is not text (an image, a program,
NUL bytes at its start) gets one line naming its type and size instead.

  --encoding   write only the detected encoding's name ("ANSI", "UTF-8", "Unicode",
               "Unicode BE", "Big5", "Big5-HKSCS") and a line feed
)";

/// Why FILE cannot be viewed, or empty when it can be read. Opened the way the loader opens it,
/// so a file deeper than the kernel's path limit is viewed too.
std::string unreadableReason(const std::string& path) {
    const int fd = openForReading(path);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? "cannot find '" + path + "'"
                                                   : "cannot read '" + path + "'";
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    if (!regular)
        return "'" + path + "' is not a regular file";
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

    if (!encodingOnly) {
        if (const FileKindInfo kind = fileKindOf(file); kind.kind != FileKind::Text) {
            io.out << binaryFileText(kind) << '\n';
            return kExitOk;
        }
    }
    const LoadedText loaded = loadFileText(file);
    if (encodingOnly)
        io.out << encodingDisplayName(loaded.encodingCode) << '\n';
    else
        io.out << loaded.text;
    return kExitOk;
}

} // namespace karv::cli
