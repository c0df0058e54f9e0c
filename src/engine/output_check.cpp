#include "engine/output_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace quarzo {

std::string WritableFileProblem(const std::string& path) {
    std::error_code error;
    std::filesystem::path file(path);
    if (std::filesystem::is_directory(file, error)) return "it is a folder";
    bool existed = std::filesystem::exists(file, error);
    errno = 0;
    // "r+" never truncates, and "wx" never opens a file that appeared meanwhile (where the C
    // library knows it).
#ifdef _WIN32
    const char* create = "wb";
#else
    const char* create = "wxb";
#endif
    std::FILE* f = std::fopen(path.c_str(), existed ? "r+b" : create);
    if (!f) return errno != 0 ? std::strerror(errno) : "cannot be opened";
    std::fclose(f);
    if (!existed) std::filesystem::remove(file, error);
    return "";
}

}  // namespace quarzo
