// SPDX-License-Identifier: GPL-3.0-or-later
// The ID3 tags of MP3 files as a naming source: ID3v2 and ID3v1, the one the
// priority names first, the other when the file lacks it.
#pragma once

#include "tags/tag_reader.h"

namespace qorin::tags {

extern const TagReader kId3Reader;

}  // namespace qorin::tags
