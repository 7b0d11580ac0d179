// Parsed format codes kept per thread, so that each code of a sheet is read once.
#include "print/format_code.h"

#include <functional>
#include <string>
#include <unordered_map>

namespace quenly::wb::print::detail {

namespace {

struct CodeHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

constexpr std::size_t kCacheLimit = 4096;
constexpr std::size_t kRecent = 8;

// The codes of a row of cells repeat column by column: the last few are looked at first, by
// comparing their texts, before the hash table.
struct FormatCache {
    std::unordered_map<std::string, std::unique_ptr<ParsedFormat>, CodeHash, std::equal_to<>> map;
    struct Recent {
        std::string_view code; // views the key in `map`
        const ParsedFormat* format = nullptr;
    };
    Recent recent[kRecent];
    std::size_t next = 0;
};

} // namespace

const ParsedFormat* parsedFormat(std::string_view code) {
    thread_local FormatCache cache;
    for (const auto& r : cache.recent) {
        if (r.code.size() == code.size() && r.code.data() != nullptr && r.code == code) {
            return r.format;
        }
    }
    auto it = cache.map.find(code);
    if (it == cache.map.end()) {
        if (cache.map.size() >= kCacheLimit) {
            cache.map.clear();
            for (auto& r : cache.recent) {
                r = {};
            }
        }
        it = cache.map.emplace(std::string(code), parseFormat(code)).first;
    }
    cache.recent[cache.next] = {it->first, it->second.get()};
    cache.next = (cache.next + 1) % kRecent;
    return it->second.get();
}

} // namespace quenly::wb::print::detail
