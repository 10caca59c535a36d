#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The bytes of the settings file and of the byte-value files: value texts, the item-list text and
// the rules by which a reader finds a section and a key. Positions are 0-based byte offsets.

namespace karv {

inline constexpr std::string_view kLineBreak = "\r\n";
/// Stands for a CR LF pair inside a stored text value.
inline constexpr std::string_view kLineBreakMark = "┊*┊";
inline constexpr std::string_view kTrueText = "真";
inline constexpr std::string_view kFalseText = "假";
/// Separates the items of an item-list text.
inline constexpr std::string_view kItemSeparator = "{H}";
/// Separates the fields of one item of an item-list text.
inline constexpr std::string_view kFieldSeparator = "{G}";
/// Folder beside the settings file that holds the byte-value files.
inline constexpr std::string_view kByteValueFolder = "inibin";
inline constexpr std::string_view kByteValueExtension = ".ibn";

/// Every CR LF pair replaced by "┊*┊"; a lone CR or LF stays as it is.
std::string escapeLineBreaks(std::string_view text);
/// Every "┊*┊" replaced by CR LF (also where it was typed by the user).
std::string unescapeLineBreaks(std::string_view text);

/// "真" or "假".
std::string settingsFlagText(bool value);
/// True exactly when the text is "真".
bool settingsFlagFromText(std::string_view text);

/// The value printed like "%.13g" in the C locale (whole numbers as plain digits), whatever the
/// process locale is: a Qt program sets the user's locale, which would otherwise turn 0.5 into "0,5".
std::string settingsNumberText(double value);
/// The longest leading decimal number of the text (leading blanks skipped); 0 when there is none.
/// Locale-independent; out-of-range values saturate.
double settingsNumberFromText(std::string_view text);

/// One entry of a list box or a check list box.
struct SettingsListItem {
    std::string text;
    std::int32_t value = 0;
    bool checked = false;
    bool operator==(const SettingsListItem&) const = default;
};

/// Items joined by "{H}", fields by "{G}": text, value and, with `withCheckedState`, "真"/"假".
std::string itemListText(const std::vector<SettingsListItem>& items, bool withCheckedState);
/// Splits an item-list text: missing fields are empty, an empty value reads 0, the checked state is
/// true exactly for "真". An empty piece between separators is kept, one at the very end is dropped.
std::vector<SettingsListItem> parseItemList(std::string_view text);
/// Splits at every separator; an empty last piece is dropped (so "" gives no pieces).
std::vector<std::string> splitItemPieces(std::string_view text, std::string_view separator);

/// Whether "[" + name + "]" at `pos` counts as a header: it starts the file or follows CR LF.
bool headerStartsLine(std::string_view image, std::size_t pos);

/// The first section header line between `from` and `to`: a CR LF + "[" before `to` whose next
/// "]" + CR LF is not beyond `to`, with no CR LF between the "[" and the "]". Returns the
/// position of that "[".
std::optional<std::size_t> headerBetween(std::string_view image, std::size_t from, std::size_t to);

/// Where a value lies in the image.
struct ValueSpan {
    std::size_t start = 0;
    std::size_t length = 0;
};

/// The value of `key` in the section whose header ends (its "]") at `headerEnd`: the first
/// CR LF + key + "=" behind the header, unless a header line stands between them.
std::optional<ValueSpan> findKeyValue(std::string_view image, std::size_t headerEnd, std::string_view key);

/// Where a new key line goes: in front of the first CR LF + "[" behind the header, or the end.
std::size_t keyInsertionPoint(std::string_view image, std::size_t headerEnd);

/// A section name whose header line cannot be mistaken for another one: no CR, LF or "]".
bool isStorableSectionName(std::string_view name);
/// A key that ends at its own "=" and cannot be read as a header: no CR, LF or "=", no leading "[".
bool isStorableKey(std::string_view key);
/// Section and key form one file name inside "inibin": no "/" and no zero byte.
bool isByteValueName(std::string_view name);

/// Control kinds recognised from the first characters of a control's name.
enum class ControlKind {
    None,
    Button,       ///< "按钮": its tag text
    EditBox,      ///< "编辑框": the edit text
    CheckBox,     ///< "选择框": checked state
    RadioButton,  ///< "单选框": checked state
    ComboBox,     ///< "组合框": selected index or edit text
    ListBox,      ///< "列表框": items and values
    CheckListBox, ///< "选择列表框": items, values and checked states
    ColourPicker, ///< "颜色选择器": colour as an integer
    CommonDialog, ///< "通用对话框": file-name text
};

/// The kind of the first prefix in the table that the name starts with.
ControlKind controlKindOf(std::string_view name);

/// Tag text that keeps a control out of the settings.
inline constexpr std::string_view kTagNoSave = "禁止保存";
/// Tag text that stores a button's or edit box's value in a byte-value file.
inline constexpr std::string_view kTagByteValue = "字节集方式";
/// Key suffix of a button's tag text.
inline constexpr std::string_view kButtonTagSuffix = ".标记";
/// Key suffix of an editable combo box's edit text.
inline constexpr std::string_view kComboTextSuffix = ".内容";

} // namespace karv
