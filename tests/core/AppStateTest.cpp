#include "app/AppState.h"

#include "support/Privileges.h"
#include "support/TempTree.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace karv;
using karv::test::TempTree;

TEST(Branding, FieldsFallBacksAndExtraFields) {
    BrandTexts brand = parseBrandPayload("Zeta[#Karv#]12345[#Karv#]example.org");
    EXPECT_EQ(brand.brandWord, "Zeta");
    EXPECT_EQ(brand.contactId, "12345");
    EXPECT_EQ(brand.homeUrl, "http://example.org");
    EXPECT_EQ(brand.secondUrl, "http://example.org");
    EXPECT_TRUE(brand.bannerImage.empty());

    brand = parseBrandPayload(
        "a[#Karv#]b[#Karv#]c[#Karv#]https://h[#Karv#][#Karv#]BANNER\x01\x02[#Karv#]LOGO[#Karv#]extra");
    EXPECT_EQ(brand.homeUrl, "https://h");
    EXPECT_EQ(brand.secondUrl, "https://h");
    EXPECT_EQ(brand.bannerImage, "BANNER\x01\x02");
    EXPECT_EQ(brand.logoImage, "LOGO"); // the eighth field is ignored
}

TEST(Branding, BrandWordRenamesProgramTitleAndSettingsFile) {
    TempTree tree;
    tree.file("bin/karv.rc", "Nova[#Karv#]42[#Karv#]nova.example");
    const std::string data = tree.folder("data");
    AppState state;
    initialiseAppState(state, tree.path("bin"), data);
    EXPECT_EQ(state.programName, "Nova·Tessil");
    EXPECT_EQ(windowTitle(state), "Nova·Tessil v1.6.0.0");
    EXPECT_EQ(state.settingsFilePath, data + "/Nova·Tessil.ini");

    AppState plain;
    initialiseAppState(plain, tree.path("no-such-folder"), data);
    EXPECT_EQ(plain.programName, "Karv·Tessil");
    EXPECT_EQ(windowTitle(plain), "Karv·Tessil v1.6.0.0");
    EXPECT_EQ(plain.settingsFilePath, data + "/Karv·Tessil.ini");
}

TEST(ProgramDataFolder, PortableBesideExecutableInstalledInConfigFolder) {
    TempTree tree;
    const std::string config = tree.path("config");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    // A build or unpacked copy in a writable folder keeps its files beside itself.
    const std::string portable = tree.folder("portable");
    EXPECT_EQ(programDataFolder(portable), portable);

    const std::string fallback = programDataFolder(tree.path("missing-exe-folder"));
    EXPECT_EQ(fallback, config + "/Karv·Tessil");
    struct stat st {};
    ASSERT_EQ(::stat(fallback.c_str(), &st), 0); // created when missing, private to the user
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Installed: the folder may be writable (root in /usr/bin, a user's ~/.local/bin), yet nothing
    // is written beside the programs.
    const std::string installed = tree.folder("prefix/bin");
    tree.file(installedMarkerPath(installed).substr(tree.root().size() + 1), "manual");
    EXPECT_EQ(programDataFolder(installed), config + "/Karv·Tessil");

    // A folder the user may not write to.
    const std::string locked = tree.folder("locked");
    ::chmod(locked.c_str(), 0555);
    const std::string userConfig = tree.path("user-config");
    EXPECT_TRUE(karv::test::runWithoutPrivileges(tree.root(), [&] {
        ::setenv("XDG_CONFIG_HOME", userConfig.c_str(), 1);
        return programDataFolder(locked) == userConfig + "/Karv·Tessil";
    }));

    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

TEST(CommandLineFolder, PathOrFileUrlOfAnExistingFolder) {
    TempTree tree;
    const std::string folder = tree.folder("a b");
    const std::string gbk = tree.folder("\xB2\xE2"); // a GBK name, not UTF-8
    tree.file("a b/file.txt");

    EXPECT_EQ(commandLineFolder({folder + "/"}, "/"), folder);
    EXPECT_EQ(commandLineFolder({"a b"}, tree.root()), folder);
    EXPECT_EQ(commandLineFolder({"file://" + tree.root() + "/a%20b"}, "/"), folder);
    EXPECT_EQ(commandLineFolder({"file://localhost" + tree.root() + "/%b2%E2"}, "/"), gbk);

    EXPECT_EQ(commandLineFolder({}, tree.root()), "");
    EXPECT_EQ(commandLineFolder({folder + "/file.txt"}, "/"), "");                // a file
    EXPECT_EQ(commandLineFolder({"file://server" + folder}, "/"), "");            // another host
    EXPECT_EQ(commandLineFolder({"file://" + folder + "%00/file.txt"}, "/"), ""); // cut by a NUL
    EXPECT_EQ(commandLineFolder({"-style", folder}, tree.root()), "");            // only the first
}
