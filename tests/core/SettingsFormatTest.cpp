#include "settings/SettingsFormat.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

using namespace karv;

TEST(SettingsFormat, LineBreaksAreEscapedPairwise) {
    EXPECT_EQ(escapeLineBreaks("a\r\nb"), "a┊*┊b");
    // Lone CR and LF stay; only whole pairs are replaced.
    EXPECT_EQ(escapeLineBreaks("a\rb\nc"), "a\rb\nc");
    EXPECT_EQ(escapeLineBreaks("\r\r\n\n"), "\r┊*┊\n");
    EXPECT_EQ(escapeLineBreaks(""), "");
    EXPECT_EQ(unescapeLineBreaks("a┊*┊b┊*┊"), "a\r\nb\r\n");
    // A mark the user typed comes back as a line break: the format cannot tell them apart.
    EXPECT_EQ(unescapeLineBreaks(escapeLineBreaks("x┊*┊y")), "x\r\ny");
    EXPECT_EQ(unescapeLineBreaks("┊*"), "┊*");
}

TEST(SettingsFormat, Flags) {
    EXPECT_EQ(settingsFlagText(true), "真");
    EXPECT_EQ(settingsFlagText(false), "假");
    EXPECT_TRUE(settingsFlagFromText("真"));
    EXPECT_FALSE(settingsFlagFromText("假"));
    EXPECT_FALSE(settingsFlagFromText("真 "));
    EXPECT_FALSE(settingsFlagFromText("1"));
    EXPECT_FALSE(settingsFlagFromText(""));
}

TEST(SettingsFormat, NumbersPrintLikeThirteenDigitG) {
    EXPECT_EQ(settingsNumberText(0.5), "0.5");
    EXPECT_EQ(settingsNumberText(-1), "-1");
    EXPECT_EQ(settingsNumberText(3), "3");
    EXPECT_EQ(settingsNumberText(16777215), "16777215");
    EXPECT_EQ(settingsNumberText(0.1 + 0.2), "0.3");
    EXPECT_EQ(settingsNumberText(1e20), "1e+20");
    EXPECT_EQ(settingsNumberText(1234567890123456.0), "1.234567890123e+15");
    EXPECT_EQ(settingsNumberText(0.0001), "0.0001");
    EXPECT_EQ(settingsNumberText(0.00001), "1e-05");
}

TEST(SettingsFormat, NumbersReadTheLeadingDecimal) {
    EXPECT_EQ(settingsNumberFromText("12abc"), 12);
    EXPECT_EQ(settingsNumberFromText("abc"), 0);
    EXPECT_EQ(settingsNumberFromText(""), 0);
    EXPECT_EQ(settingsNumberFromText(" -3.5x"), -3.5);
    EXPECT_EQ(settingsNumberFromText("+7"), 7);
    EXPECT_EQ(settingsNumberFromText(".5"), 0.5);
    EXPECT_EQ(settingsNumberFromText("5."), 5);
    EXPECT_EQ(settingsNumberFromText("."), 0);
    EXPECT_EQ(settingsNumberFromText("-"), 0);
    EXPECT_EQ(settingsNumberFromText("1e3"), 1000);
    EXPECT_EQ(settingsNumberFromText("1e"), 1);
    EXPECT_EQ(settingsNumberFromText("1e+"), 1);
    EXPECT_EQ(settingsNumberFromText("2E-1"), 0.2);
    EXPECT_EQ(settingsNumberFromText("1e999"), HUGE_VAL);
    EXPECT_EQ(settingsNumberFromText("-1e999"), -HUGE_VAL);
    EXPECT_EQ(settingsNumberFromText("1e-999"), 0);
    EXPECT_EQ(settingsNumberFromText("inf"), 0);
    // Out of range by digits alone: the place of the first significant digit decides.
    EXPECT_EQ(settingsNumberFromText("0." + std::string(400, '0') + "1"), 0);
    EXPECT_EQ(settingsNumberFromText("1" + std::string(400, '0')), HUGE_VAL);
    EXPECT_EQ(settingsNumberFromText("-0.001e400"), -HUGE_VAL);
    EXPECT_EQ(settingsNumberFromText("1000e-400"), 0);
    EXPECT_EQ(settingsNumberFromText("1e99999999999999999999999"), HUGE_VAL);
    EXPECT_EQ(settingsNumberFromText("1e-99999999999999999999999"), 0);
    EXPECT_EQ(settingsNumberFromText("真"), 0);
    for (double value : {0.0, -1.0, 0.5, 16777215.0, 1e-7, 123456.789, -2147483648.0})
        EXPECT_EQ(settingsNumberFromText(settingsNumberText(value)), value) << value;
}

TEST(SettingsFormat, ItemListText) {
    const std::vector<SettingsListItem> items{{"甲", 1, true}, {"", -5, false}, {"c", 2147483647, true}};
    EXPECT_EQ(itemListText(items, false), "甲{G}1{H}{G}-5{H}c{G}2147483647");
    EXPECT_EQ(itemListText(items, true), "甲{G}1{G}真{H}{G}-5{G}假{H}c{G}2147483647{G}真");
    EXPECT_EQ(itemListText({}, true), "");
    EXPECT_EQ(parseItemList(itemListText(items, true)), items);
    std::vector<SettingsListItem> unchecked = items;
    for (SettingsListItem& item : unchecked)
        item.checked = false;
    EXPECT_EQ(parseItemList(itemListText(items, false)), unchecked);
    EXPECT_TRUE(parseItemList("").empty());
}

TEST(SettingsFormat, ItemListSplitting) {
    // Empty pieces between separators are kept, the one at the very end is dropped, missing
    // fields are empty and an empty value reads 0.
    const std::vector<SettingsListItem> parsed = parseItemList("a{G}1{H}{H}b{G}{G}真{H}");
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0], (SettingsListItem{"a", 1, false}));
    EXPECT_EQ(parsed[1], (SettingsListItem{"", 0, false}));
    EXPECT_EQ(parsed[2], (SettingsListItem{"b", 0, true}));
    // Separators are not escaped: an item text containing one is split there.
    const std::vector<SettingsListItem> split = parseItemList(itemListText({{"x{H}y", 3, false}}, false));
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[0], (SettingsListItem{"x", 0, false}));
    EXPECT_EQ(split[1], (SettingsListItem{"y", 3, false}));
    // Extra fields are ignored; values out of 32-bit range are clamped.
    EXPECT_EQ(parseItemList("t{G}7{G}真{G}extra"), (std::vector<SettingsListItem>{{"t", 7, true}}));
    EXPECT_EQ(parseItemList("t{G}99999999999"), (std::vector<SettingsListItem>{{"t", 2147483647, false}}));
    EXPECT_EQ(parseItemList("t{G}-1e30"), (std::vector<SettingsListItem>{{"t", -2147483647 - 1, false}}));
    EXPECT_EQ(splitItemPieces("{H}", "{H}"), (std::vector<std::string>{""}));
    EXPECT_EQ(splitItemPieces("a{H}{H}", "{H}"), (std::vector<std::string>{"a", ""}));
}

TEST(SettingsFormat, ControlKindsByPrefix) {
    EXPECT_EQ(controlKindOf("按钮开始筛选"), ControlKind::Button);
    EXPECT_EQ(controlKindOf("编辑框筛选内容"), ControlKind::EditBox);
    EXPECT_EQ(controlKindOf("选择框按长度筛选"), ControlKind::CheckBox);
    EXPECT_EQ(controlKindOf("单选框遍历层次"), ControlKind::RadioButton);
    EXPECT_EQ(controlKindOf("组合框匹配模式"), ControlKind::ComboBox);
    EXPECT_EQ(controlKindOf("列表框1"), ControlKind::ListBox);
    EXPECT_EQ(controlKindOf("选择列表框1"), ControlKind::CheckListBox);
    EXPECT_EQ(controlKindOf("颜色选择器"), ControlKind::ColourPicker);
    EXPECT_EQ(controlKindOf("通用对话框1"), ControlKind::CommonDialog);
    EXPECT_EQ(controlKindOf("按钮"), ControlKind::Button);
    EXPECT_EQ(controlKindOf("标签1"), ControlKind::None);
    EXPECT_EQ(controlKindOf("超级列表框"), ControlKind::None);
    EXPECT_EQ(controlKindOf("对话框"), ControlKind::None);
    EXPECT_EQ(controlKindOf("时钟筛选提示"), ControlKind::None);
    EXPECT_EQ(controlKindOf(""), ControlKind::None);
    EXPECT_EQ(controlKindOf("按"), ControlKind::None);
    // A prefix cut inside a character is not a match.
    EXPECT_EQ(controlKindOf(std::string_view("按钮", 5)), ControlKind::None);
}

TEST(SettingsFormat, HeaderBetween) {
    const std::string image = "[S]\r\na=1\r\n[T]\r\nb=2";
    const std::size_t key = image.find("b=");
    ASSERT_TRUE(headerBetween(image, 3, key - 1).has_value());
    EXPECT_EQ(*headerBetween(image, 3, key - 1), image.find("[T]"));
    EXPECT_FALSE(headerBetween(image, 3, image.find("a=") - 1).has_value());
    // A "[" line without "]" CR LF, or with a line break inside, is no header.
    EXPECT_FALSE(headerBetween("[S]\r\n[a=1\r\nb=2", 3, 12).has_value());
    EXPECT_FALSE(headerBetween("[S]\r\n[a\r\nb]\r\nc=2", 3, 14).has_value());
    // A header that is the very last line has no CR LF behind it and is not seen.
    EXPECT_FALSE(headerBetween("[S]\r\n[T]", 3, 8).has_value());
    // A "]" CR LF beyond the end of the range does not count.
    EXPECT_FALSE(headerBetween("[S]\r\n[T\r\nb=]\r\n", 3, 9).has_value());
}

TEST(SettingsFormat, HeaderBetweenStaysLinearOnUnclosedBrackets) {
    // Quadratic scanning would take minutes here; the result is simply "none".
    std::string image = "[S]";
    for (int i = 0; i < 200000; ++i)
        image += "\r\n[x";
    EXPECT_FALSE(headerBetween(image, 3, image.size()).has_value());
    image += "]\r\n";
    EXPECT_TRUE(headerBetween(image, 3, image.size()).has_value());
}
