#pragma once

#include <string>

namespace quarzo {

// Why a file could not be written at path, found without changing anything there: empty when it can
// be, else a reason such as "No such file or directory". An existing file is opened for update only;
// a new one is created and removed again.
std::string WritableFileProblem(const std::string& path);

}  // namespace quarzo
