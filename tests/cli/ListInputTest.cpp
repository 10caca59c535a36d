#include "support/CliRun.h"
#include "support/TempTree.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

// The lists classify reads (--from-list, --keywords, --batch-list) as scripts and Windows editors
// hand them over.

using karv::test::runCli;
using karv::test::TempTree;

namespace {

/// A pipe already holding `content` with its writing end closed, as `<(printf …)` gives it.
class FilledPipe {
public:
    explicit FilledPipe(const std::string& content) {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        m_read = ends[0];
        EXPECT_EQ(::write(ends[1], content.data(), content.size()), static_cast<ssize_t>(content.size()));
        ::close(ends[1]);
    }
    ~FilledPipe() { ::close(m_read); }
    FilledPipe(const FilledPipe&) = delete;
    FilledPipe& operator=(const FilledPipe&) = delete;
    int fd() const { return m_read; }
    std::string path() const { return "/dev/fd/" + std::to_string(m_read); }

private:
    int m_read = -1;
};

/// Standard input replaced by a pipe holding `content` for as long as the object lives.
class StandardInputFrom {
public:
    explicit StandardInputFrom(const std::string& content) : m_pipe(content), m_saved(::dup(STDIN_FILENO)) {
        EXPECT_EQ(::dup2(m_pipe.fd(), STDIN_FILENO), STDIN_FILENO);
    }
    ~StandardInputFrom() {
        ::dup2(m_saved, STDIN_FILENO);
        ::close(m_saved);
    }
    StandardInputFrom(const StandardInputFrom&) = delete;
    StandardInputFrom& operator=(const StandardInputFrom&) = delete;

private:
    FilledPipe m_pipe;
    int m_saved;
};

struct Folder {
    TempTree tree;
    std::string in = tree.folder("in");
    std::string first = tree.file("in/甲1.txt", "1");
    std::string second = tree.file("in/乙.txt", "2");
};

const std::string kMark = "\xEF\xBB\xBF";

} // namespace

TEST(ListInput, AByteOrderMarkStartingAListIsDropped) {
    Folder f;
    const std::string keywords = f.tree.file("keywords.txt", kMark + "甲\r\n乙\r\n");
    const std::string names = f.tree.file("names.txt", kMark + "第一\r\n第二\r\n");
    const auto byKeyword =
        runCli({"classify", "--dry-run", "--in-order", "--batch-size", "1", "--batch-names", "list",
                "--batch-list", names, "--keywords", keywords, f.in});
    EXPECT_EQ(byKeyword.status, 0) << byKeyword.err;
    EXPECT_EQ(byKeyword.out,
              f.first + "\t" + f.in + "/第一/甲1.txt\n" + f.second + "\t" + f.in + "/第二/乙.txt\n");

    const std::string list = f.tree.file("list.txt", kMark + f.first + "\r\n" + f.second + "\r\n");
    const auto byList = runCli({"classify", "--dry-run", "--in-order", "--from-list", list});
    EXPECT_EQ(byList.status, 0) << byList.err;
    EXPECT_EQ(byList.out, f.first + "\t" + f.in + "/1/甲1.txt\n" + f.second + "\t" + f.in + "/1/乙.txt\n");
}

TEST(ListInput, ListsMayBePipesOrStandardInput) {
    Folder f;
    const std::string expected =
        f.first + "\t" + f.in + "/1/甲1.txt\n" + f.second + "\t" + f.in + "/1/乙.txt\n";
    const std::string listText = f.first + "\n" + f.second + "\n";
    {
        FilledPipe list(listText);
        const auto result = runCli({"classify", "--dry-run", "--in-order", "--from-list", list.path()});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, expected);
    }
    {
        StandardInputFrom input(listText);
        const auto result = runCli({"classify", "--dry-run", "--in-order", "--from-list", "-"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, expected);
    }
    {
        const std::string named = f.tree.path("named-pipe");
        ASSERT_EQ(::mkfifo(named.c_str(), 0600), 0);
        // The writer's open waits for the reader, so the two meet whatever the order.
        std::thread writer([&] {
            const int fd = ::open(named.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd >= 0) {
                EXPECT_EQ(::write(fd, listText.data(), listText.size()),
                          static_cast<ssize_t>(listText.size()));
                ::close(fd);
            }
        });
        const auto result = runCli({"classify", "--dry-run", "--in-order", "--from-list", named});
        writer.join();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, expected);
    }
    // A list that is not there, or standard input asked for twice: one line, usage status.
    const auto missing = runCli({"classify", "--from-list", f.tree.path("nothing")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1) << missing.err;
    EXPECT_EQ(runCli({"classify", "--keywords", "-", "--from-list", "-"}).status, 2);
    EXPECT_EQ(runCli({"classify", "--from-list", f.in}).status, 2);
}

TEST(ListInput, ZeroSeparatesListEntriesByNul) {
    Folder f;
    const std::string broken = f.tree.file("in/two\nlines.txt", "3");
    const std::string list =
        f.tree.file("list", broken + std::string(1, '\0') + f.first + std::string(1, '\0'));
    // -0 counts wherever it stands, also behind the list it applies to.
    const auto result = runCli({"classify", "--dry-run", "--in-order", "--from-list", list, "-0"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, f.in + "/two\\nlines.txt\t" + f.in + "/1/two\\nlines.txt\n" + f.first + "\t" +
                              f.in + "/1/甲1.txt\n");

    const std::string keywords = f.tree.file("keywords", std::string("乙") + '\0');
    const auto byKeyword = runCli({"classify", "-0", "--dry-run", "--keywords", keywords, f.in});
    EXPECT_EQ(byKeyword.status, 0) << byKeyword.err;
    EXPECT_EQ(byKeyword.out, f.second + "\t" + f.in + "/1/乙.txt\n");

    // Without -0 such a list would silently become one long path.
    EXPECT_EQ(runCli({"classify", "--dry-run", "--from-list", list}).status, 2);
}
