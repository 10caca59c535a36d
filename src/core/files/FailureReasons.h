#pragma once

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace karv::files {

/// The error of an act refused because the path no longer names the file that was listed: another
/// file, a link on the way, or the same file changed since.
inline constexpr int kNotAsListed = ESTALE;

/// Why a file of a batch was not acted on, in the words a summary uses.
enum class FailureReason {
    ChangedSinceListed,
    Vanished,
    NoPermission,
    NoSpace,
    NameTooLong,
    RefusedByTrash,
    TargetExists,
    Other,
};

/// The reason an errno stands for. `trashing`: the act was a move to the trash, whose other
/// refusals (no trash on that volume, a trash that cannot be written) are the trash's.
FailureReason reasonOf(int error, bool trashing = false);

/// "列出后已改变", "已不存在", "没有权限", …
std::string_view reasonText(FailureReason reason);

/// The failures of one batch, counted by reason, with the first few paths of each kept for the
/// summary.
class FailureTally {
public:
    static constexpr std::size_t kNamed = 3;

    void add(FailureReason reason, const std::string& path);
    void add(int error, const std::string& path, bool trashing = false) {
        add(reasonOf(error, trashing), path);
    }

    std::size_t total() const { return m_total; }
    bool empty() const { return m_total == 0; }

    struct Group {
        FailureReason reason;
        std::size_t count = 0;
        std::vector<std::string> first; ///< up to kNamed paths, in the order met
    };
    /// The reasons met, in the order of the enum.
    std::vector<Group> groups() const;

    /// One line for a summary: "失败 N 个：没有权限 2 个（/a/b.txt、/a/c.txt），已不存在 1 个（/d.txt）".
    /// Empty when nothing failed. `shown` turns a path into its display form.
    std::string summary(std::string (*shown)(const std::string&) = nullptr) const;

private:
    std::vector<Group> m_groups; // indexed by reason
    std::size_t m_total = 0;
};

} // namespace karv::files
