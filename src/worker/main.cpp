// SPDX-License-Identifier: GPL-3.0-or-later
// qorin-media: reads dates taken and the tags of the TagLib formats for the
// program, a batch of files a message on its standard input, so that a library that
// crashes or hangs on a file takes this process down and not the program
// (tags/media_workers.h). It ends when the program closes its end.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "tags/media_protocol.h"

namespace {

// For tests alone, with QORIN_TEST_MEDIA_FAULTS set: a file whose name starts
// "crash-" kills the worker and one starting "hang-" never comes back, as a
// library's fault on a damaged file would.
void testFault(std::string_view name) {
  if (name.starts_with("crash-")) std::abort();
  if (name.starts_with("hang-"))
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

int main() {
  using namespace qorin;
  const bool faults = std::getenv("QORIN_TEST_MEDIA_FAULTS") != nullptr;
  tags::WorkerState state;
  platform::ParentLink parent;
  // Ready: from here the time of each file counts.
  if (!parent.write({})) return 0;
  while (const auto batch = parent.read()) {
    const auto requests = tags::media::splitBatch(*batch);
    if (!requests || requests->empty()) return 2;  // not a batch of ours
    tags::media::Writer answers;
    for (const std::string_view request : *requests) {
      parent.took();  // this file's time runs from here
      const std::string answer = state.answer(request, faults ? testFault : nullptr);
      if (answer.empty()) return 2;  // not a request of ours
      answers(std::string_view(answer));
    }
    if (!parent.write(answers.take())) return 0;
  }
  return 0;
}
