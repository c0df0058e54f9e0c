#include "core/ini_file.h"

#include "core/sequential_file.h"
#include "core/text_util.h"

namespace quarzo {

namespace {

// The section name of a "[name]" line.
std::optional<std::string> SectionName(const std::string& line) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// The key of a "key=value" line (comments and other lines have none).
std::optional<std::string> KeyName(const std::string& line) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';') return std::nullopt;
    size_t eq = t.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return Trim(t.substr(0, eq));
}

}  // namespace

bool IniFile::Load(const std::string& path) {
    lines_.clear();
    SequentialFile in;
    if (!in.OpenRead(path)) return true;
    return Read(in);
}

void IniFile::Parse(const uint8_t* data, size_t size) {
    lines_.clear();
    SequentialFile in;
    in.OpenMemory(data, size);
    Read(in);
}

std::string IniFile::Text() const {
    std::string text;
    for (const std::string& line : lines_) text += line + "\r\n";
    return text;
}

bool IniFile::Read(SequentialFile& in) {
    std::string current;
    uint8_t byte;
    while (in.ReadByte(byte)) {
        if (byte == '\n') {
            if (!current.empty() && current.back() == '\r') current.pop_back();
            lines_.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(byte));
        }
    }
    if (!current.empty()) lines_.push_back(current);
    return !in.Failed();
}

bool IniFile::Save(const std::string& path) const {
    SequentialFile out;
    if (!out.OpenWrite(path)) return false;
    for (const std::string& line : lines_) {
        out.Write(line.data(), line.size());
        out.PutText("\r\n");
    }
    return out.Commit();
}

size_t IniFile::FindSection(const std::string& section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = SectionName(lines_[i]);
        if (name && EqualsNoCase(*name, section)) return i;
    }
    return std::string::npos;
}

size_t IniFile::SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines_.size() && !SectionName(lines_[i])) ++i;
    return i;
}

namespace {

// The value of a "key=value" line: trimmed, without one pair of enclosing quotes, cut to the limit.
std::string ValueOf(const std::string& line) {
    std::string value = Trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value.substr(0, IniFile::kMaxValue);
}

}  // namespace

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
    size_t header = FindSection(section);
    if (header == std::string::npos) return std::nullopt;
    for (size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
        auto name = KeyName(lines_[i]);
        if (name && EqualsNoCase(*name, key)) return ValueOf(lines_[i]);
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> IniFile::Entries(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> entries;
    size_t header = FindSection(section);
    if (header == std::string::npos) return entries;
    for (size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
        if (auto name = KeyName(lines_[i])) entries.emplace_back(*name, ValueOf(lines_[i]));
    }
    return entries;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    std::string line = key + "=" + value.substr(0, kMaxValue);
    size_t header = FindSection(section);
    if (header == std::string::npos) {
        lines_.push_back("[" + section + "]");
        lines_.push_back(line);
        return;
    }
    size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        auto name = KeyName(lines_[i]);
        if (name && EqualsNoCase(*name, key)) {
            lines_[i] = line;
            return;
        }
    }
    // After the section's last non-blank line, so that a blank line before the next section stays.
    size_t at = end;
    while (at > header + 1 && Trim(lines_[at - 1]).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<long>(at), line);
}

void IniFile::ReplaceSection(const std::string& section, const std::vector<std::string>& body) {
    size_t header = FindSection(section);
    if (header == std::string::npos) {
        lines_.push_back("[" + section + "]");
        lines_.insert(lines_.end(), body.begin(), body.end());
        return;
    }
    size_t end = SectionEnd(header);
    lines_.erase(lines_.begin() + static_cast<long>(header + 1), lines_.begin() + static_cast<long>(end));
    lines_.insert(lines_.begin() + static_cast<long>(header + 1), body.begin(), body.end());
}

}  // namespace quarzo
