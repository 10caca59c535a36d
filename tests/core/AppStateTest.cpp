#include "app/AppState.h"

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
    EXPECT_FALSE(plain.operationIdle); // set only once the main window exists
}

TEST(ProgramDataFolder, PortableWhenWritableElseConfigFolder) {
    TempTree tree;
    const std::string exe = tree.folder("exe");
    EXPECT_EQ(programDataFolder(exe), exe);

    const std::string config = tree.folder("config");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const std::string fallback = programDataFolder(tree.path("missing-exe-folder"));
    EXPECT_EQ(fallback, config + "/Karv·Tessil");
    struct stat st {};
    EXPECT_EQ(::stat(fallback.c_str(), &st), 0); // created when missing
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}
