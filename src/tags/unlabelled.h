// SPDX-License-Identifier: GPL-3.0-or-later
// What decides an unlabelled text of a tag beside its own bytes: the other
// texts of its tag, then those of the other files of its folder (an album
// is stored in one encoding), and in the repair a code page the user picked
// for what still stays uncertain.
#pragma once

#include <optional>
#include <string_view>

#include "text/detect.h"

namespace qorin::tags {

struct TextContext {
  const text::Evidence* folder = nullptr;  // the folder's files, weighed together
  std::optional<text::Charset> chosen;     // read what stays uncertain in this code page
  text::Evidence tag;                      // the tag's own texts, weighed before its texts are read
  bool uncertain = false;                  // a text read stayed uncertain

  text::Reading read(std::string_view bytes) {
    text::Reading r = text::readUnlabelled(bytes, {&tag, folder});
    if (r.uncertain && chosen) {
      if (auto t = text::readAs(bytes, *chosen)) r = {*chosen, *std::move(t), false, {}, {}};
    }
    uncertain = uncertain || r.uncertain;
    return r;
  }
};

}  // namespace qorin::tags
