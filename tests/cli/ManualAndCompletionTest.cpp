#include "support/CliRun.h"

#include <cctype>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

// The manual page and the bash completion are written by hand; these checks keep them in step with
// what the command line really accepts.

namespace {

std::string helpOf(const std::vector<std::string>& args) {
    const auto result = karv::test::runCli(args);
    EXPECT_EQ(result.status, karv::cli::kExitOk) << result.err;
    return result.out;
}

std::string readDistFile(const std::string& name) {
    std::ifstream in(std::string(KARV_DIST_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool wordChar(char c) {
    return c == '-' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

/// The words of a text, a word being a run of letters, digits and "-".
std::set<std::string> words(const std::string& text) {
    std::set<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t end = i;
        while (end < text.size() && wordChar(text[end]))
            ++end;
        if (end > i)
            out.insert(text.substr(i, end - i));
        i = end + 1;
    }
    return out;
}

/// The subcommand a usage line lists: "  name  …".
std::string listedSubcommand(const std::string& line) {
    if (line.rfind("  ", 0) != 0)
        return {};
    std::size_t end = 2;
    while (end < line.size() && line[end] >= 'a' && line[end] <= 'z')
        ++end;
    return end > 2 && line.compare(end, 2, "  ") == 0 ? line.substr(2, end - 2) : std::string();
}

/// The flags a help text names: "-x" or "--name" after a blank, "[", "|" or "(".
std::vector<std::string> flagsIn(const std::string& help) {
    std::vector<std::string> flags;
    for (std::size_t i = 0; i < help.size(); ++i) {
        if (help[i] != '-' || (i > 0 && !std::isspace(static_cast<unsigned char>(help[i - 1])) &&
                               help[i - 1] != '[' && help[i - 1] != '|' && help[i - 1] != '('))
            continue;
        std::size_t start = i + (i + 1 < help.size() && help[i + 1] == '-' ? 2 : 1);
        if (start >= help.size() || !((help[start] >= 'a' && help[start] <= 'z') ||
                                      std::isdigit(static_cast<unsigned char>(help[start]))))
            continue;
        std::size_t end = start;
        while (end < help.size() && (help[end] == '-' || (help[end] >= 'a' && help[end] <= 'z') ||
                                     std::isdigit(static_cast<unsigned char>(help[end]))))
            ++end;
        flags.push_back(help.substr(i, end - i));
        i = end;
    }
    return flags;
}

} // namespace

TEST(ManualAndCompletion, NameEverySubcommandAndOption) {
    std::string manual = readDistFile("karv-tessil-cli.1");
    for (std::size_t at; (at = manual.find("\\-")) != std::string::npos;)
        manual.erase(at, 1); // troff's escaped hyphen
    const std::set<std::string> manualWords = words(manual);
    const std::set<std::string> completionWords = words(readDistFile("karv-tessil-cli.bash"));

    std::set<std::string> subcommands;
    std::istringstream usage(helpOf({"--help"}));
    for (std::string line; std::getline(usage, line);)
        if (const std::string name = listedSubcommand(line); !name.empty())
            subcommands.insert(name);
    ASSERT_GE(subcommands.size(), 2u);

    for (const std::string& subcommand : subcommands) {
        EXPECT_TRUE(manual.find("SUBCOMMAND " + subcommand) != std::string::npos) << subcommand;
        EXPECT_TRUE(completionWords.count(subcommand)) << subcommand;
        const std::string help = helpOf({subcommand, "--help"});
        int options = 0;
        for (const std::string& flag : flagsIn(help)) {
            ++options;
            EXPECT_TRUE(manualWords.count(flag)) << subcommand << " " << flag << " is not in the manual page";
            EXPECT_TRUE(completionWords.count(flag)) << subcommand << " " << flag << " is not completed";
        }
        EXPECT_GT(options, 0) << subcommand;
    }
}
