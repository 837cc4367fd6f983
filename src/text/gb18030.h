// SPDX-License-Identifier: GPL-3.0-or-later
// GB18030 through the program's own tables, which hold glibc's mapping. The
// Windows build uses them where the system has no code page 54936 (wine).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qorin::text {

// Nothing when a byte sequence is no character.
std::optional<std::u16string> gb18030ToUtf16(std::string_view gb);
// Nothing for a lone surrogate or a character the mapping lacks.
std::optional<std::string> utf16ToGb18030(std::u16string_view utf16);

}  // namespace qorin::text
