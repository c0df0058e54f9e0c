#pragma once

#include <string>

namespace quarzo::platform {

// A fresh file name in the same folder as path, for writing a file that later replaces path.
std::string TemporaryPathBeside(const std::string& path);
// Moves source over target in one step; when it fails, target is as it was.
bool MoveFileOver(const std::string& source, const std::string& target);
bool RemoveFile(const std::string& path);

}  // namespace quarzo::platform
