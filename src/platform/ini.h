// SPDX-License-Identifier: GPL-3.0-or-later
// Key access to small INI files: sections in brackets, key=value lines.
// Writes keep every other line as it was; new lines end in CR LF. Names and
// values are code-page text; a file kept in UTF-8 (with or without BOM) or
// UTF-16 with BOM is read and written back in its own encoding.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qorin::platform {

class IniFile {
 public:
  // How the file's bytes hold the text; a new file is written in the code page.
  enum class Encoding { CodePage, Utf8, Utf8Bom, Utf16Le, Utf16Be };

  // Reads the file; a missing, unreadable or oversized file reads as empty.
  // A link at `path` is followed only when it, every link after it and the
  // file it leads to belong to the user running the program (POSIX; Windows
  // follows none). Another's link, anything but a regular file, and an empty
  // path count as unreadable.
  explicit IniFile(std::string path, Encoding forNewFile = Encoding::CodePage);

  // The value of the first matching key in the first matching section
  // (names compared without ASCII case, blanks around them ignored).
  std::string get(std::string_view section, std::string_view key, std::string_view fallback) const;

  // Replaces the value, or adds the key (and the section) when missing.
  // Later copies of the key (in the section or a repeat of it) are dropped,
  // so a file never holds the key twice.
  void set(std::string_view section, std::string_view key, std::string_view value);

  // The sections' names in file order (a repeated section once), and the
  // key=value lines of a section's first copy, in order, trimmed.
  std::vector<std::string> sections() const;
  std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;

  // Drops every copy of the section, its header and its lines.
  void removeSection(std::string_view section);

  // Every line is blank, a comment (";" or "#"), a section header, or a
  // key=value line inside a section.
  bool wellFormed() const;

  // Writes the lines back atomically; false when that failed. A link that
  // may be followed is written through to its target (a new file in the
  // target's folder renamed over it, the link kept); a file the user may not write
  // (no write permission, or marked read-only) is left alone.
  bool save() const;

  // False when the file existed but could not be read: saving then would
  // replace content we never saw, so save() refuses.
  bool readable() const { return readable_; }
  Encoding encoding() const { return encoding_; }

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n" or "" for a last line without one
  };
  // Index of the section header line, or -1.
  long findSection(std::string_view section) const;
  // Index of the key line inside the section starting after `header`, or -1;
  // `insertAt` receives the line after the section's last non-blank line.
  long findKey(long header, std::string_view key, std::size_t* insertAt) const;
  // Removes the key's lines after line `kept` in every copy of the section.
  void dropLaterCopies(std::size_t kept, std::string_view section, std::string_view key);

  std::string path_;
  std::vector<Line> lines_;
  bool readable_ = true;
  Encoding encoding_ = Encoding::CodePage;
};

}  // namespace qorin::platform
