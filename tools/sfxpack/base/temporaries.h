// Temporary folders beside an output, and what a run killed outright (SIGKILL, or the
// process ended from outside on Windows) left behind of its temporaries.
#pragma once

#include <string>
#include <vector>

namespace sfx {

// A new folder ".sfxpack-PID[-N]SUFFIX" beside a path, registered with the interruption
// handler, so the final move out of it stays on one volume. It is removed with the files
// named through File when this goes, or on an interruption.
class TemporaryFolder {
public:
    TemporaryFolder() = default;
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // False with *error (naming the folder and the system's reason) when none could be made.
    bool Make(const std::string& besidePath, const std::string& suffix, std::string* error);
    const std::string& Path() const { return path_; }
    // The path of a file in the folder, registered before anything (a child, say) makes it.
    std::string File(const std::string& name);

private:
    std::string path_;
    int token_ = -1;
    std::vector<std::pair<std::string, int>> files_;  // path, registry token
};

// Removes from folder the temporaries ".sfxpack-PID[-N]SUFFIX" whose process no longer
// runs (or that bear this process's own number, which no temporary of this run has yet),
// and returns their paths. A folder among them is removed only with the files named in
// folderFiles and when nothing else is in it; anything that is not of the expected kind
// (a folder for a file's suffix, say) is left alone. A link is removed as a link.
std::vector<std::string> RemoveLeftovers(const std::string& folder, const std::string& suffix,
                                         const std::vector<std::string>& folderFiles = {});

}  // namespace sfx
