#pragma once

#include <functional>
#include <string>

class QPushButton;
class QWidget;

namespace karv {

/// The button 清除摘要缓存 beside the duplicate options: removes the digest cache of `folder` and
/// says what came of it through `report`. While `running` says a run is on it refuses (the run
/// would save its digests again at its end).
QPushButton* digestCacheButton(QWidget* parent, std::string folder, std::function<bool()> running,
                               std::function<void(const std::string&)> report);

} // namespace karv
