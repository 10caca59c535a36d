#include "support/CliRun.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
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

/// The words of a text, a word being a run of letters, digits and "-".
std::set<std::string> words(const std::string& text) {
    std::set<std::string> out;
    static const std::regex word("[-A-Za-z0-9]+");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator(); ++it)
        out.insert(it->str());
    return out;
}

} // namespace

TEST(ManualAndCompletion, NameEverySubcommandAndOption) {
    std::string manual = readDistFile("karv-tessil-cli.1");
    manual = std::regex_replace(manual, std::regex(R"(\\-)"), "-"); // troff's escaped hyphen
    const std::set<std::string> manualWords = words(manual);
    const std::set<std::string> completionWords = words(readDistFile("karv-tessil-cli.bash"));

    std::set<std::string> subcommands;
    static const std::regex listed(R"(^  ([a-z]+)  )");
    std::istringstream usage(helpOf({"--help"}));
    for (std::string line; std::getline(usage, line);) {
        std::smatch match;
        if (std::regex_search(line, match, listed))
            subcommands.insert(match[1]);
    }
    ASSERT_GE(subcommands.size(), 2u);

    static const std::regex option(R"((^|[\s\[|(])(--?[a-z0-9][-a-z0-9]*))");
    for (const std::string& subcommand : subcommands) {
        EXPECT_TRUE(manual.find("SUBCOMMAND " + subcommand) != std::string::npos) << subcommand;
        EXPECT_TRUE(completionWords.count(subcommand)) << subcommand;
        const std::string help = helpOf({subcommand, "--help"});
        int options = 0;
        for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator();
             ++it) {
            const std::string flag = (*it)[2];
            ++options;
            EXPECT_TRUE(manualWords.count(flag)) << subcommand << " " << flag << " is not in the manual page";
            EXPECT_TRUE(completionWords.count(flag)) << subcommand << " " << flag << " is not completed";
        }
        EXPECT_GT(options, 0) << subcommand;
    }
}
