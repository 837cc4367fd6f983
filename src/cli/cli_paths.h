// SPDX-License-Identifier: GPL-3.0-or-later
// Where the command line's paths come from besides its arguments (a list in
// a file or on standard input), and which listed files it keeps: each file
// once, and only the names the globs let through.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qorin::session {
class Session;
}

namespace qorin::cli {

// The paths of a list, one a line (a CR before the newline goes) or, with
// `nul`, each ended by a NUL; empty entries are skipped.
std::vector<std::string> readPathList(std::FILE* in, bool nul);

// A shell glob over a file name (code-page text, whole characters):
// `*`, `?`, `[abc]`, `[a-z]`, `[!x]`; a backslash takes the next character
// as it is.
bool globMatches(std::string_view glob, std::string_view name);

// Removes the rows that list a file an earlier row lists already, and those
// whose name no `include` glob matches (when there are any) or an `exclude`
// glob matches. Returns how many went. With `oneSource` (a single path
// given) no file can be listed twice, and the names are not compared.
int keepListed(session::Session& s, const std::vector<std::string>& include,
               const std::vector<std::string>& exclude, bool oneSource = false);

}  // namespace qorin::cli
