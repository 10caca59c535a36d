#include "duplicates/DuplicateTexts.h"

namespace karv {

std::string digestCacheClearedText(DigestCache::Cleared result) {
    switch (result) {
    case DigestCache::Cleared::Removed:
        return "摘要缓存已清除，下次按MD5查重将重新读取每个文件。";
    case DigestCache::Cleared::Nothing:
        return "没有摘要缓存需要清除。";
    case DigestCache::Cleared::Failed:
        break;
    }
    return "摘要缓存无法清除！";
}

} // namespace karv
