// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of a list as the media workers read them (tags/media_workers.h),
// and what a worker's failure makes of a row.
#pragma once

#include <memory>

#include "filelist/file_list.h"
#include "rules/reading.h"
#include "rules/rule_codes.h"
#include "tags/media_workers.h"

namespace qorin::rules {

// The row's file in the folder it was listed from.
tags::MediaFile mediaFileOf(const filelist::FileList& list, int row);

// The reason a row fails with when its file came back with `failure`
// (None for MediaFailure::None).
filelist::Outcome reasonOf(tags::MediaFailure failure);

// The workers `reading` names, or readers in the program kept in `here`
// for as long as the caller needs them.
tags::MediaWorkers& workersOf(const Reading& reading, std::unique_ptr<tags::MediaWorkers>& here);

}  // namespace qorin::rules
