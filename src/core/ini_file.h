#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarzo {

class SequentialFile;

// A settings file in the Windows private-profile format, kept line by line so that writing a key
// leaves every other line, section and comment as it was. Section and key names compare without
// regard to case; values are trimmed and cut at 255 characters.
class IniFile {
public:
    static constexpr size_t kMaxValue = 255;

    // A missing file reads as empty; false only when an existing file cannot be read.
    bool Load(const std::string& path);
    // The same from text in memory.
    void Parse(const uint8_t* data, size_t size);
    // The lines as Save writes them.
    std::string Text() const;
    // Writes the whole file through a temporary file beside it, with CR LF line ends.
    bool Save(const std::string& path) const;

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // Every key of the section with its value as Get gives it, in file order.
    std::vector<std::pair<std::string, std::string>> Entries(const std::string& section) const;
    // Replaces the key's value in place, or appends the key (and the section) when missing.
    void Set(const std::string& section, const std::string& key, const std::string& value);
    // Replaces the body of a section by the given "key=value" lines, appending the section if needed.
    void ReplaceSection(const std::string& section, const std::vector<std::string>& lines);

private:
    bool Read(SequentialFile& in);
    // Index of the section's header line, or npos.
    size_t FindSection(const std::string& section) const;
    // One past the last line of the section that starts at header.
    size_t SectionEnd(size_t header) const;

    std::vector<std::string> lines_;
};

}  // namespace quarzo
