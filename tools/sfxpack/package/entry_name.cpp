#include "tools/sfxpack/package/entry_name.h"

#include <algorithm>

#include "format/package_format.h"
#include "tools/sfxpack/base/text.h"

namespace sfx {

bool CheckEntryName(const std::string& name, std::string* reason) {
    size_t at = 0;
    const EntryNameFault fault = JudgeEntryName(name.data(), name.size(), &at);
    const std::string quoted = Quoted(name);
    switch (fault) {
        case EntryNameFault::kNone:
            return true;
        case EntryNameFault::kEmpty:
            *reason = "is empty";
            break;
        case EntryNameFault::kFolder:
            *reason = quoted + " names a folder, not a file";
            break;
        case EntryNameFault::kTooLong:
            *reason = "is " + Num(name.size()) + " bytes long; Windows file names hold at most " +
                      Num(kMaxEntryNameLength) + " characters";
            break;
        case EntryNameFault::kControl:
            *reason = quoted + " contains a control character (byte " + Num(at + 1) + ")";
            break;
        case EntryNameFault::kNotAscii:
            // The launcher reads names in the code page of the machine it runs on.
            *reason = quoted + " contains a character outside printable ASCII (byte " +
                      Num(at + 1) + "), which each Windows code page reads differently";
            break;
        case EntryNameFault::kForbidden:
            *reason = quoted + " contains " + Quoted(std::string(1, name[at])) +
                      (name[at] == '\\' || name[at] == '/' ? ", a folder separator," : ",") +
                      " which Windows does not allow in file names";
            break;
        case EntryNameFault::kTrailingDotOrBlank:
            *reason = quoted + " ends in a " + (name.back() == '.' ? "dot" : "blank") +
                      ", which Windows strips when creating the file";
            break;
        case EntryNameFault::kDevice:
            *reason = quoted + " is a reserved device name on Windows";
            break;
    }
    return false;
}

bool IsRunBatName(const std::string& name) {
    return AsciiLower(name) == kRunBatName;
}

std::string MissingRunBatWarning(const std::vector<std::string>& names) {
    if (std::any_of(names.begin(), names.end(), IsRunBatName)) return std::string();
    return std::string("no entry is named ") + kRunBatName +
           ": the launcher started without arguments will start nothing";
}

}  // namespace sfx
