#include "cli/Cli.h"

#include "scan/RowList.h"

#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <ostream>

namespace karv::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
volatile std::sig_atomic_t g_signal = SIGINT;

struct Command {
    std::function<int(const std::vector<std::string>&, CliIo&)> run;
    std::string_view summary;
};

const std::map<std::string_view, Command>& commands() {
    static const std::map<std::string_view, Command> table = {
        {"act", {actCommand, "move, copy, trash or delete the files of a list (or --undo the last batch)"}},
        {"classify", {classifyCommand, "move or copy files to paths built from a template (or --undo)"}},
        {"scan", {scanCommand, "one filter run: list the files of FOLDER that pass the filters"}},
        {"stats", {statsCommand, "folder statistics: files and sub-folders of every folder of FOLDER"}},
        {"view", {viewCommand, "load FILE as the viewer does and write its text (or --encoding)"}},
    };
    return table;
}

void printUsage(std::ostream& out) {
    out << "usage: karv-tessil-cli SUBCOMMAND [OPTIONS] ...\n\nsubcommands:\n";
    for (const auto& [name, command] : commands())
        out << "  " << name << "  " << command.summary << "\n";
    out << "\n'karv-tessil-cli SUBCOMMAND --help' prints the options of one subcommand.\n";
}

} // namespace

bool interruptRequested() {
    return g_interrupted != 0;
}
int interruptCount() {
    return static_cast<int>(g_interrupted);
}
void requestInterrupt(int signal) {
    g_signal = signal;
    // Counted, so that a second Ctrl+C can end what the first one left running (the output of the
    // duplicate groups found so far), as a second click on the stop button does.
    if (g_interrupted < 1000)
        g_interrupted = g_interrupted + 1;
}
void clearInterrupt() {
    g_interrupted = 0;
    g_signal = SIGINT;
}
int interruptedStatus() {
    return 128 + static_cast<int>(g_signal);
}

int usageError(CliIo& io, std::string_view command, std::string_view message) {
    io.err << "karv-tessil-cli";
    if (!command.empty())
        io.err << " " << command;
    io.err << ": " << terminalText(message) << "\n";
    return kExitUsage;
}

int takeFolderOperand(ArgReader& reader, CliIo& io, std::string_view command, std::string& folder,
                      bool& folderGiven) {
    const std::string& next = reader.peek();
    if (!next.empty() && next[0] == '-' && next != "-" && next != "--")
        return usageError(io, command, "unknown flag '" + next + "' (try --help)");
    if (next == "--") {
        reader.take();
        if (reader.done())
            return kExitOk;
    }
    if (folderGiven)
        return usageError(io, command, "only one FOLDER may be given");
    folder = reader.take();
    folderGiven = true;
    return kExitOk;
}

namespace {

int dispatch(const std::vector<std::string>& args, CliIo& io) {
    if (args.empty())
        return usageError(io, "", "missing subcommand (try --help)");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(io.out);
        return kExitOk;
    }
    if (args[0] == "--version") {
        io.out << "karv-tessil-cli " << KARV_VERSION << "\n";
        return kExitOk;
    }
    const auto found = commands().find(args[0]);
    if (found == commands().end())
        return usageError(io, "", "unknown subcommand '" + args[0] + "' (try --help)");
    return found->second.run(std::vector<std::string>(args.begin() + 1, args.end()), io);
}

} // namespace

int runCli(const std::vector<std::string>& args, CliIo& io) {
    int status = dispatch(args, io);
    // Every subcommand reports a stop by signal the same way; the status names the signal.
    if (status == kExitInterrupted)
        status = interruptedStatus();
    // Output that did not arrive (a full disk) is a failure, never a success.
    if (!io.out.flush() && status != kExitFailures) {
        io.err << "karv-tessil-cli: cannot write to standard output\n";
        return kExitFailures;
    }
    return status;
}

std::string terminalText(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char c) {
        out += "\\x";
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 0xF]);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            escape(c);
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            escape(static_cast<unsigned char>(text[++i])); // U+0080..U+009F, the C1 controls
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string tsvField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string jsonString(std::string_view text) {
    return jsonQuoted(text);
}

bool ArgReader::flag(std::string_view name) {
    if (done() || m_args[m_pos] != name)
        return false;
    ++m_pos;
    return true;
}

bool ArgReader::option(std::string_view name, std::string& value, bool& missing) {
    if (done())
        return false;
    const std::string& arg = m_args[m_pos];
    if (arg == name) {
        ++m_pos;
        if (done()) {
            missing = true;
            return true;
        }
        value = m_args[m_pos++];
        return true;
    }
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        ++m_pos;
        return true;
    }
    return false;
}

} // namespace karv::cli
