// Finds, among the names of a package, one whose 8.3 short alias another name could be
// (HasShortAliasShapeOf), in time that does not grow with the number of names: a hostile
// package may hold a million of them.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace sfx {

class ShortAliasIndex {
public:
    // Adds a name at a position (an entry's or an input's place in its list).
    void Add(const std::string& name, size_t position);

    // True, with *position and *longName, when name has the shape of the short alias of a
    // name added before that is not name itself (letter case ignored).
    bool FindAliased(const std::string& name, size_t* position, std::string* longName) const;

private:
    // Names that need an alias, by the characters an alias keeps of them (the first one,
    // and the first two). Two different names per key are enough to find one that differs
    // from any name asked about, so no key holds more.
    std::map<std::string, std::vector<std::pair<std::string, size_t>>> byKept_;
};

}  // namespace sfx
