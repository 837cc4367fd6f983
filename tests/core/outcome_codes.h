// SPDX-License-Identifier: GPL-3.0-or-later
// Every producer's outcomes under one name, as tests compare rows with them.
#pragma once

#include "filelist/outcome.h"
#include "rename/plan.h"
#include "rules/rule_codes.h"
#include "tags/id3v2_unicode.h"

namespace codes {
using namespace qorin::rename::why;
using namespace qorin::rules::why;
// The session's outcome of a tag rewrite that could not be done.
inline constexpr qorin::filelist::Outcome NotFullyRead{
    qorin::filelist::Severity::Fail, qorin::filelist::Producer::TagWrite,
    static_cast<unsigned>(qorin::tags::ConversionProblem::NotFullyRead)};
}  // namespace codes
