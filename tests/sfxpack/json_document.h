// Parses sfxpack's --json output with Python's json module, strictly (no duplicate keys,
// no NaN), and flattens it to "entries.0.name" -> value, each value as json.dumps gives
// it: a string keeps its quotes, so "1" and 1 stay apart.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "run_sfxpack.h"
#include "signing.h"

namespace sfxtest {

constexpr char kFlattenJson[] = R"(
import json, sys
def strict(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)): raise ValueError("duplicate key")
    return dict(pairs)
def refuse(name): raise ValueError(name)
with open(sys.argv[1], encoding="utf-8") as f:
    doc = json.load(f, object_pairs_hook=strict, parse_constant=refuse)
if not isinstance(doc, dict): raise ValueError("not an object")
def walk(path, v):
    if isinstance(v, dict):
        if not v: print(path + "\t{}")
        for k, x in v.items(): walk(path + "." + k if path else k, x)
    elif isinstance(v, list):
        print(path + ".#\t" + str(len(v)))
        for i, x in enumerate(v): walk(path + "." + str(i), x)
    else:
        print(path + "\t" + json.dumps(v))
walk("", doc)
)";

struct JsonDocument {
    bool parsed = false;
    std::map<std::string, std::string> values;  // path -> value; "entries.#" -> count

    std::string operator[](const std::string& path) const {
        const auto it = values.find(path);
        return it == values.end() ? "<missing>" : it->second;
    }
};

inline std::string JsonText(const std::string& s) { return "\"" + s + "\""; }

inline JsonDocument ParseJson(const ScratchDir& dir, const std::string& text) {
    JsonDocument doc;
    if (!HaveCommand("python3")) return doc;
    const std::string in = dir.Path("doc.json"), script = dir.Path("flatten.py"),
                      out = dir.Path("doc.flat");
    WriteText(in, text);
    WriteText(script, kFlattenJson);
    if (ShellStatus("python3 " + ShellQuoted(script) + " " + ShellQuoted(in) + " >" +
                    ShellQuoted(out) + " 2>&1") != 0) {
        ADD_FAILURE() << "not a JSON document:\n" << text;
        return doc;
    }
    const std::vector<uint8_t> flat = ReadBytes(out);
    std::istringstream lines(std::string(flat.begin(), flat.end()));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) doc.values[line.substr(0, tab)] = line.substr(tab + 1);
    }
    doc.parsed = true;
    return doc;
}

}  // namespace sfxtest
