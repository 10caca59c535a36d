#include "gui/DigestCacheButton.h"

#include "duplicates/DuplicateTexts.h"
#include "gui/WidgetBuilder.h"
#include "scan/FilterTexts.h"

#include <QPushButton>

namespace karv {

QPushButton* digestCacheButton(QWidget* parent, std::string folder, std::function<bool()> running,
                               std::function<void(const std::string&)> report) {
    const std::string caption(kClearDigestCacheCaption);
    auto* clear = ui::button("按钮清除摘要缓存", caption.c_str(), parent);
    clear->setAccessibleName(QString::fromUtf8(caption));
    QObject::connect(clear, &QPushButton::clicked, clear,
                     [folder = std::move(folder), running = std::move(running), report = std::move(report)] {
                         if (running())
                             report(std::string(kBusyMessage));
                         else
                             report(digestCacheClearedText(DigestCache::clear(folder)));
                     });
    return clear;
}

} // namespace karv
