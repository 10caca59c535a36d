#pragma once

#include "classify/ClassificationRun.h"
#include "scan/OpenFolders.h"

#include <cstddef>
#include <string>
#include <vector>

namespace karv {

/// Goes through a folder plan in its order by open folders, each entered from its parent (which
/// the plan visits before it), with the folder's path text grown and cut back along the way.
class PlanWalk {
public:
    explicit PlanWalk(const std::vector<ClassificationRun::PlannedFolder>& plan) : m_plan(plan) {}

    /// Makes folder `i` of the plan the current one; false when it cannot be opened or is no
    /// longer the folder that was planned.
    bool visit(std::size_t i) {
        const ClassificationRun::PlannedFolder& folder = m_plan[i];
        if (i == 0) {
            m_open.openRoot(folder.name);
            m_chain.assign(1, 0);
            m_lengths.clear();
            m_text = folder.name;
        } else {
            while (m_chain.size() > 1 && m_chain.back() != folder.parent) {
                m_open.leave();
                m_chain.pop_back();
                m_text.resize(m_lengths.back());
                m_lengths.pop_back();
            }
            m_lengths.push_back(m_text.size());
            if (m_text.empty() || m_text.back() != '/')
                m_text += '/';
            m_text += folder.name;
            // A folder swapped for a link since it was listed is not followed.
            m_open.enter(folder.name, false);
            m_chain.push_back(i);
        }
        return m_open.known() && folder.known && m_open.device() == folder.device &&
               m_open.inode() == folder.inode;
    }

    int current() { return m_open.current(); }
    const std::string& text() const { return m_text; }

private:
    const std::vector<ClassificationRun::PlannedFolder>& m_plan;
    OpenFolders m_open;
    std::vector<std::size_t> m_chain; // plan indices of the open folders, the entry folder first
    std::vector<std::size_t> m_lengths;
    std::string m_text;
};

} // namespace karv
