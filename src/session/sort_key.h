// SPDX-License-Identifier: GPL-3.0-or-later
// The orders a list can be put in by what its files are, for every front
// end: the window's 排序 menu and qorin-cli's --sort (their words are in
// session/messages).
#pragma once

#include <array>

namespace qorin::session {

enum class SortKey : unsigned char { Name, Modified, Taken, Size };

// In the 排序 menu's order.
inline constexpr std::array<SortKey, 4> kSortKeys = {SortKey::Name, SortKey::Modified, SortKey::Taken,
                                                     SortKey::Size};

}  // namespace qorin::session
