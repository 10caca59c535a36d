#include "files/FailureReasons.h"

#include "files/FileOps.h"

namespace karv::files {

FailureReason reasonOf(int error, bool trashing) {
    switch (error) {
    case kNotAsListed:
    case kChangedWhileCopied:
        return FailureReason::ChangedSinceListed;
    case ENOENT:
        return FailureReason::Vanished;
    case EACCES:
    case EPERM:
    case EROFS:
        return FailureReason::NoPermission;
    case ENOSPC:
    case EDQUOT:
        return FailureReason::NoSpace;
    case ENAMETOOLONG:
        return FailureReason::NameTooLong;
    case EEXIST:
    case ENOTEMPTY:
        return FailureReason::TargetExists;
    default:
        return trashing ? FailureReason::RefusedByTrash : FailureReason::Other;
    }
}

std::string_view reasonText(FailureReason reason) {
    switch (reason) {
    case FailureReason::ChangedSinceListed:
        return "列出后已改变";
    case FailureReason::Vanished:
        return "已不存在";
    case FailureReason::NoPermission:
        return "没有权限";
    case FailureReason::NoSpace:
        return "磁盘空间不足";
    case FailureReason::NameTooLong:
        return "名称过长";
    case FailureReason::RefusedByTrash:
        return "回收站拒绝";
    case FailureReason::TargetExists:
        return "目标已存在";
    case FailureReason::Other:
        break;
    }
    return "其他错误";
}

void FailureTally::add(FailureReason reason, const std::string& path) {
    const auto slot = static_cast<std::size_t>(reason);
    if (m_groups.size() <= slot)
        m_groups.resize(slot + 1);
    Group& group = m_groups[slot];
    group.reason = reason;
    ++group.count;
    if (group.first.size() < kNamed)
        group.first.push_back(path);
    ++m_total;
}

std::vector<FailureTally::Group> FailureTally::groups() const {
    std::vector<Group> met;
    for (const Group& group : m_groups)
        if (group.count > 0)
            met.push_back(group);
    return met;
}

std::string FailureTally::summary(std::string (*shown)(const std::string&)) const {
    if (m_total == 0)
        return {};
    std::string text = "失败 " + std::to_string(m_total) + " 个：";
    bool firstGroup = true;
    for (const Group& group : groups()) {
        if (!firstGroup)
            text += "，";
        firstGroup = false;
        text.append(reasonText(group.reason)).append(" ").append(std::to_string(group.count)).append(" 个（");
        for (std::size_t i = 0; i < group.first.size(); ++i) {
            if (i > 0)
                text += "、";
            text += shown != nullptr ? shown(group.first[i]) : group.first[i];
        }
        if (group.count > group.first.size())
            text += "…";
        text += "）";
    }
    return text;
}

} // namespace karv::files
