// SPDX-License-Identifier: GPL-3.0-or-later
// Code-page text <-> QString, at the edge between the core and the widgets.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace qorin::text {

// For display: bytes that are no valid character show as U+FFFD.
QString toQt(std::string_view gb);

// Nothing when the text holds a character the code page cannot represent
// (GB18030 represents all of Unicode, so only malformed UTF-16 fails).
std::optional<std::string> fromQt(const QString& s);

// For texts typed into controls: a text that cannot convert reads as empty.
std::string fromQtOrEmpty(const QString& s);

}  // namespace qorin::text
