#pragma once

#include <string>

// Plants a Unix symbolic link at link (a Windows path) pointing at target, from the Unix
// side: Wine 8 cannot make junctions, but shows such a link to a folder as a directory
// reparse point, which is what a planted junction looks like to the launcher.
// The Unix path Wine maps a Windows path to; empty outside Wine.
std::string UnixPath(const std::wstring& path);

bool PlantUnixSymlink(const std::wstring& target, const std::wstring& link);

// Removes such a link from the Unix side (Wine cannot remove a link to a folder that is
// not empty), so that a test leaves nothing behind.
void RemoveUnixLink(const std::wstring& link);
