#pragma once

#include "run/RunContext.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// One name of a folder, with what it is (symbolic links resolved).
struct DirectoryEntry {
    std::string name; ///< raw bytes
    enum class Kind { File, Folder, Other } kind = Kind::File;
    bool link = false; ///< the name is a symbolic link (`kind` is what it points to)
};

/// A `KeepGoing` is asked every `kPollEntries` entries while a large folder is read, sorted or
/// matched, so a stop is seen and the status kept fresh in a folder of a million names.
inline constexpr std::size_t kPollEntries = 4096;

/// Reads a folder's entries without "." and "..", sorted as an NTFS folder returns them (ASCII
/// case-insensitive, then bytewise), so every run is deterministic. A folder that cannot be read
/// yields no entries. Sockets, pipes and devices are `Other`: reading them could block forever.
/// A path of any length is read (see files::ShortPath).
std::vector<DirectoryEntry> listDirectory(const std::string& folder);
/// The same for an open folder (the descriptor stays open and unchanged). When `keepGoing` says
/// stop, the result is empty: the caller sees its own stop flag.
std::vector<DirectoryEntry> listDirectory(int folderFd, const KeepGoing& keepGoing = {});

/// A file-name pattern with the Windows wildcard rules: "*" any run, "?" one character, ASCII case
/// ignored, "*.*" matches every name (also names without a dot), a trailing ".*" also matches the
/// name without extension and a trailing "." matches names without a dot.
class NamePattern {
public:
    explicit NamePattern(std::string_view pattern);
    bool matches(std::string_view name) const;
    /// The "*.htm" rule: such a search keeps only names that end with ".htm".
    bool htmOnly() const { return m_htmOnly; }

private:
    std::string m_pattern; // ASCII letters folded to lower case
    bool m_matchAll = false;
    bool m_htmOnly = false;
};

/// Splits a "|"-separated pattern list; an empty list means "*.*".
std::vector<NamePattern> parsePatternList(std::string_view patternList);

/// Whether a name is kept by one pattern, the "*.htm" rule included.
bool patternKeeps(const NamePattern& pattern, std::string_view name);

/// The indices into `entries` of the entries of the wanted kind that fit a pattern of the list,
/// pattern by pattern (an entry that fits two patterns is listed twice). When `keepGoing` says
/// stop, what was found so far.
std::vector<std::size_t> selectIndices(const std::vector<DirectoryEntry>& entries,
                                       const std::vector<NamePattern>& patterns, bool foldersWanted,
                                       const KeepGoing& keepGoing = {});

/// Appends folder + "/" + name for every entry of `entries` of the wanted kind that fits a pattern
/// of the list, pattern by pattern (a file that fits two patterns is appended twice).
std::size_t selectEntries(const std::string& folder, const std::vector<DirectoryEntry>& entries,
                          const std::vector<NamePattern>& patterns, bool foldersWanted,
                          std::vector<std::string>& out);

/// How many paths `selectEntries` would append, without building them.
std::size_t countEntries(const std::vector<DirectoryEntry>& entries, const std::vector<NamePattern>& patterns,
                         bool foldersWanted, const KeepGoing& keepGoing = {});

/// Lists the entries of `folder` that fit the "|"-separated pattern list: folders when
/// `foldersWanted`, files otherwise. Appends their full paths to `out`; returns its new length.
std::size_t enumerateEntries(const std::string& folder, std::string_view patternList, bool foldersWanted,
                             std::vector<std::string>& out);

/// Folder text with exactly one trailing "/".
std::string withTrailingSlash(std::string folder);

} // namespace karv
