// Which files the tag code reads: one place to say it, as more formats come.
#pragma once

#include <string_view>

#include "text/names.h"

namespace qorin::tags {

// A file whose name says MP3 (any case): the ID3 tags apply to it.
inline bool isMp3Name(std::string_view name) { return text::hasExtension(name, "MP3"); }

}  // namespace qorin::tags
