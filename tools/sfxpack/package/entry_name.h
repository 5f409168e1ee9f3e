// The name rule of format/ (JudgeEntryName) in words, and the one name the launcher
// starts on its own. Every verb judges names through these.
#pragma once

#include <string>
#include <vector>

namespace sfx {

// True when an entry may have this name; otherwise *reason says why, starting with what
// the name is or contains ("'a|b' contains '|', which Windows does not allow ...").
bool CheckEntryName(const std::string& name, std::string* reason);

// The launcher started without arguments runs the entry of this name (any letter case).
constexpr char kRunBatName[] = "run.bat";

bool IsRunBatName(const std::string& name);

// Empty when one of names is run.bat; otherwise the warning create and verify give.
std::string MissingRunBatWarning(const std::vector<std::string>& names);

}  // namespace sfx
