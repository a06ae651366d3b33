#include "protocol/pattern_cache.h"

#include <map>
#include <mutex>

const std::regex& compiledPattern(const std::string& pattern) {
    // Only a handful of distinct pattern texts exist, so the cache never grows
    // beyond them; map nodes keep the returned references valid.
    static std::mutex cacheMutex;
    static std::map<std::string, std::regex> cache;
    std::lock_guard<std::mutex> lock(cacheMutex);
    auto found = cache.find(pattern);
    if (found == cache.end()) {
        found = cache.emplace(pattern, std::regex(pattern, kPatternSyntax)).first;
    }
    return found->second;
}
