// SPDX-License-Identifier: GPL-3.0-or-later
// What a rule that reads files is handed by its caller: the media workers
// that read them, owned by the session, and the stop the reading asks.
#pragma once

#include "platform/fs_types.h"

namespace qorin::tags {
class MediaWorkers;
}  // namespace qorin::tags

namespace qorin::rules {

struct Reading {
  // None: the same readers run in the program (a test, a bench, a caller
  // with no workers of its own).
  tags::MediaWorkers* workers = nullptr;
  platform::StopFn stop;
};

}  // namespace qorin::rules
