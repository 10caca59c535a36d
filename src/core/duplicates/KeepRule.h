#pragma once

#include "files/FileFacts.h"
#include "values/Options.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace karv {

/// The folders whose files a duplicate listing never offers. A path is under one when it is so
/// as written (made absolute) or once the links on the way to either are resolved, so a folder
/// reached through a link is still recognised.
class ReferenceFolders {
public:
    explicit ReferenceFolders(const std::vector<std::string>& folders);

    bool empty() const { return m_forms.empty(); }
    bool contains(const std::string& path) const;

private:
    bool startsWithOne(const std::string& path) const;

    std::vector<std::string> m_forms;                                // each ends in "/"
    mutable std::unordered_map<std::string, std::string> m_resolved; // a member's folder, resolved
};

/// Which members of one duplicate group are kept (left out by 全部减一). When members lie under a
/// reference folder, those are kept, and only those; otherwise one member by `rule`. A tie, or a
/// rule that cannot judge (no member's time known), goes to the member met last, as 最后找到 does.
/// `members` and `stats` are in walk order; a member without a stat has no time.
std::vector<bool> keptMembers(const std::vector<std::string>& members,
                              const std::vector<std::optional<FileStat>>& stats, KeepRule rule,
                              const ReferenceFolders& references);

} // namespace karv
