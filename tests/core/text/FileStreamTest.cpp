// A file is read once: its first block tells gzip content and otherwise starts its head, and a file
// opened in its open folder reads as by its path.
#include "support/TempTree.h"
#include "support/TextFixtures.h"
#include "text/StreamSearch.h"
#include "text/TextLoader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace karv;

namespace {

class Collect : public TextConsumer {
public:
    void begin() override { text.clear(); }
    bool feed(std::string_view piece) override {
        text.append(piece);
        return false;
    }
    std::string text;
};

} // namespace

TEST(FileStream, PlainAndGzipFilesReadAsTheirBytesByPathAndInTheirFolder) {
    test::TempTree tree;
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "line " + std::to_string(i) + " \xE4\xB8\xAD\n";
    const std::string contents[] = {text, test::gzipOf(text), "\x1F", "", "\xD6\xD0" + text};
    const int folder = ::open(tree.folder("d").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    for (std::size_t i = 0; i < std::size(contents); ++i) {
        const std::string name = "f" + std::to_string(i);
        const std::string path = tree.file("d/" + name, contents[i]);
        const std::string expected = loadTextFromBytes(contents[i]).text;
        for (const std::size_t head : {std::size_t{16}, std::size_t{1} << 20}) {
            SCOPED_TRACE(name + " head " + std::to_string(head));
            TextStreamControl control;
            control.headBytes = head;
            control.chunkBytes = 100;
            Collect byPath;
            Collect inFolder;
            streamFileText(path, byPath, control);
            streamFileTextAt(folder, name, inFolder, control);
            EXPECT_EQ(byPath.text, expected);
            EXPECT_EQ(inFolder.text, expected);
        }
    }
    ::close(folder);
}
