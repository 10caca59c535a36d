#pragma once

namespace karv {

// The choices of the main window's radio groups and the match-mode box. Every layer names them
// (the matchers take a mode, the run and the windows the rest), so they live at the bottom.
enum class TraversalScope { ThisFolder, AllSubfolders, Levels };
/// 组合框匹配模式: "默认" plain terms, "通配" wildcards, "正则" regular expression.
enum class MatchMode { Plain = 0, Wildcard = 1, Regex = 2 };
enum class LengthMeasure { Size, Characters, NameLength };
enum class TimeKind { Created, Modified, Accessed };
enum class DuplicateKind { Md5, Size, Name };
enum class DuplicateOutput { One, All, AllButOne };
/// Which member of a duplicate group is kept, i.e. left out by 全部减一 and by the selection of
/// every member but the kept one: the one met last in the walk, the newest or oldest by last
/// write, the one with the shortest or longest path.
enum class KeepRule { Last, Newest, Oldest, Shortest, Longest };

} // namespace karv
