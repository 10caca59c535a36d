#pragma once

#include <csignal>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace karv::cli {

/// Streams and terminal facts of one command-line call; tests pass string streams.
struct CliIo {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
    /// The process ends when the command returns: what it built need not be freed piece by piece.
    bool processEnds = false;
};

/// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailures = 1;
inline constexpr int kExitUsage = 2;
/// What a subcommand returns when a signal stopped it; the command line exits with 128 + that signal.
inline constexpr int kExitInterrupted = 130;

/// Set by the SIGINT, SIGTERM and SIGHUP handlers; long runs poll it and stop the way the stop
/// button does.
bool interruptRequested();
/// How many times a stopping signal arrived since the last clear.
int interruptCount();
/// Safe in a signal handler. `signal` decides the exit status of an interrupted run (128 + it).
void requestInterrupt(int signal = SIGINT);
void clearInterrupt();
/// The exit status of a run that a signal stopped: 128 + the last stopping signal.
int interruptedStatus();

/// Runs the whole command line (argv[0] excluded): dispatches to the subcommand.
int runCli(const std::vector<std::string>& args, CliIo& io);

/// One line on standard error saying what is wrong; returns the usage exit status.
int usageError(CliIo& io, std::string_view command, std::string_view message);

/// Text for standard error (status line, messages, usage errors): control characters (C0, DEL and
/// C1) written as \xHH, so a file name cannot move the cursor, recolour or retitle the terminal.
std::string terminalText(std::string_view text);

/// A field for `tsv` output: TAB, CR, LF and backslash written as \t, \r, \n, \\.
std::string tsvField(std::string_view text);
/// A JSON string literal (with quotes); the text must be UTF-8.
std::string jsonString(std::string_view text);

/// Simple flag reader: "--flag value" and "--flag=value".
class ArgReader {
public:
    explicit ArgReader(const std::vector<std::string>& args) : m_args(args) {}
    bool done() const { return m_pos >= m_args.size(); }
    const std::string& peek() const { return m_args[m_pos]; }
    /// True when the next argument is `flag` (or `flag=…`); takes it.
    bool flag(std::string_view name);
    /// True when the next argument is `flag`; takes it and its value (fails when missing).
    bool option(std::string_view name, std::string& value, bool& missing);
    std::string take() { return m_args[m_pos++]; }

private:
    const std::vector<std::string>& m_args;
    std::size_t m_pos = 0;
};

/// What a subcommand's flag loop does with an argument no flag took: an unknown flag is a usage
/// error, "--" ends the flags, anything else is the one FOLDER. Returns kExitOk or the usage status.
int takeFolderOperand(ArgReader& reader, CliIo& io, std::string_view command, std::string& folder,
                      bool& folderGiven);

int scanCommand(const std::vector<std::string>& args, CliIo& io);
/// `stats [--recurse] [--pattern LIST] [--min-files N] [--min-dirs N] FOLDER`: one "path,files,dirs"
/// line per qualifying folder.
int statsCommand(const std::vector<std::string>& args, CliIo& io);
/// `view [--encoding] FILE`: the loaded text of FILE, or only its encoding's display name.
int viewCommand(const std::vector<std::string>& args, CliIo& io);
/// `classify`: one classification run over FOLDER or a list of paths, a preview, or the undo of the
/// last run.
int classifyCommand(const std::vector<std::string>& args, CliIo& io);
/// `act`: the list's batch actions on the files of a list, or the undo of the last batch.
int actCommand(const std::vector<std::string>& args, CliIo& io);

} // namespace karv::cli
