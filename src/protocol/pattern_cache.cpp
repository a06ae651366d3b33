#include "protocol/pattern_cache.h"

#include <map>
#include <mutex>

namespace {

// libstdc++'s default matcher recurses once per input character: a full
// three-chunk window needs about 1 MB of stack (8 MB under AddressSanitizer).
// Its Thompson-NFA matcher gives the same answers for these patterns (no back
// references) in constant stack.
#if defined(__GLIBCXX__)
constexpr auto kSyntax = std::regex::ECMAScript | std::regex_constants::__polynomial;
#else
constexpr auto kSyntax = std::regex::ECMAScript;
#endif

}  // namespace

const std::regex& compiledPattern(const std::string& pattern) {
    // Only a handful of distinct pattern texts exist, so the cache never grows
    // beyond them; map nodes keep the returned references valid.
    static std::mutex cacheMutex;
    static std::map<std::string, std::regex> cache;
    std::lock_guard<std::mutex> lock(cacheMutex);
    auto found = cache.find(pattern);
    if (found == cache.end()) {
        found = cache.emplace(pattern, std::regex(pattern, kSyntax)).first;
    }
    return found->second;
}
