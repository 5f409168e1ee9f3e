#include "tools/sfxpack/package/short_alias_index.h"

#include "format/package_format.h"
#include "tools/sfxpack/base/text.h"

namespace sfx {

void ShortAliasIndex::Add(const std::string& name, size_t position) {
    if (!NeedsShortAlias(name.data(), name.size())) return;
    char kept[kShortAliasKeptCharacters];
    const size_t got =
        LeadingShortNameCharacters(name.data(), name.size(), kShortAliasKeptCharacters, kept);
    const std::string folded = AsciiLower(name);
    for (size_t length = 1; length <= got; ++length) {
        std::vector<std::pair<std::string, size_t>>& names = byKept_[std::string(kept, length)];
        if (names.size() == 2 || (!names.empty() && AsciiLower(names[0].first) == folded)) {
            continue;
        }
        names.emplace_back(name, position);
    }
}

bool ShortAliasIndex::FindAliased(const std::string& name, size_t* position,
                                  std::string* longName) const {
    const size_t prefix = ShortAliasPrefixLength(name.data(), name.size());
    if (prefix == 0) return false;
    std::string key = name.substr(0, prefix < kShortAliasKeptCharacters ? prefix
                                                                        : kShortAliasKeptCharacters);
    for (char& c : key) c = AsciiUpper(c);
    const auto found = byKept_.find(key);
    if (found == byKept_.end()) return false;
    const std::string folded = AsciiLower(name);
    for (const auto& candidate : found->second) {
        if (AsciiLower(candidate.first) == folded) continue;
        if (!HasShortAliasShapeOf(name.data(), name.size(), candidate.first.data(),
                                  candidate.first.size())) {
            continue;
        }
        *position = candidate.second;
        *longName = candidate.first;
        return true;
    }
    return false;
}

}  // namespace sfx
