// SPDX-License-Identifier: GPL-3.0-or-later
// A tag text whose encoding could not be told, as the user is shown it.
#pragma once

#include <string>

#include "text/detect.h"

namespace qorin::tags {

// A text left as it was: its best reading and the runner-up.
struct UncertainText {
  std::string reading, alternative;  // code page
  text::Charset charset = text::Charset::Ascii, runnerUp = text::Charset::Ascii;
};

}  // namespace qorin::tags
