#include "values/PathParts.h"

#include <gtest/gtest.h>

using namespace karv;

TEST(PathParts, FolderNameAndMainName) {
    EXPECT_EQ(folderPart("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(folderPart("/c.txt"), "");
    EXPECT_EQ(folderPart("c.txt"), "");
    EXPECT_EQ(fileNamePart("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(fileNamePart("c.txt"), "c.txt");
    EXPECT_EQ(mainNamePart("/a/b/c.tar.gz"), "c.tar");
    EXPECT_EQ(mainNamePart("/a/b.d/noext"), "noext");
}
