#include "platform/ini.h"

#include "platform/fs.h"
#include "text/names.h"

namespace qorin::platform {

namespace {

constexpr std::size_t kMaxIniBytes = 4u << 20;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The name of a "[name]" line, or nothing when the line is no section header.
bool sectionName(std::string_view line, std::string_view* name) {
  line = trim(line);
  if (line.size() < 2 || line.front() != '[') return false;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return false;
  *name = trim(line.substr(1, close - 1));
  return true;
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  if (!exists(path_)) return;
  const auto content = readFile(path_, kMaxIniBytes);
  if (!content) {
    readable_ = false;
    return;
  }
  std::string_view rest(*content);
  while (!rest.empty()) {
    const auto nl = rest.find('\n');
    std::string_view line = nl == std::string_view::npos ? rest : rest.substr(0, nl);
    Line l;
    if (nl != std::string_view::npos) {
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
        l.end = "\r\n";
      } else {
        l.end = "\n";
      }
    }
    l.text = std::string(line);
    lines_.push_back(std::move(l));
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
  }
}

long IniFile::findSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (sectionName(lines_[i].text, &name) && text::equalsNoCase(name, trim(section)))
      return static_cast<long>(i);
  }
  return -1;
}

long IniFile::findKey(long header, std::string_view key, std::size_t* insertAt) const {
  std::size_t i = static_cast<std::size_t>(header) + 1;
  std::size_t lastContent = i;
  for (; i < lines_.size(); ++i) {
    std::string_view name;
    const std::string_view line = lines_[i].text;
    if (sectionName(line, &name)) break;
    if (!trim(line).empty()) lastContent = i + 1;
    const auto eq = line.find('=');
    if (eq != std::string_view::npos && text::equalsNoCase(trim(line.substr(0, eq)), trim(key)))
      return static_cast<long>(i);
  }
  if (insertAt) *insertAt = lastContent;
  return -1;
}

std::string IniFile::get(std::string_view section, std::string_view key, std::string_view fallback) const {
  const long header = findSection(section);
  if (header < 0) return std::string(fallback);
  const long k = findKey(header, key, nullptr);
  if (k < 0) return std::string(fallback);
  const std::string_view line = lines_[static_cast<std::size_t>(k)].text;
  return std::string(trim(line.substr(line.find('=') + 1)));
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string entry = std::string(key) + "=" + std::string(value);
  long header = findSection(section);
  if (header < 0) {
    // A last line without its end gets one before anything is added below it.
    if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = "\r\n";
    lines_.push_back({"[" + std::string(section) + "]", "\r\n"});
    lines_.push_back({entry, "\r\n"});
    return;
  }
  std::size_t insertAt = 0;
  const long k = findKey(header, key, &insertAt);
  if (k >= 0) {
    Line& line = lines_[static_cast<std::size_t>(k)];
    line.text = entry;
    if (!line.end.empty()) line.end = "\r\n";  // a line we write ends in CR LF
    return;
  }
  if (insertAt > 0 && lines_[insertAt - 1].end.empty()) lines_[insertAt - 1].end = "\r\n";
  lines_.insert(lines_.begin() + static_cast<long>(insertAt), Line{entry, "\r\n"});
}

bool IniFile::save() const {
  if (!readable_) return false;
  std::string out;
  for (const Line& l : lines_) out += l.text + l.end;
  return writeFileAtomic(path_, out);
}

}  // namespace qorin::platform
