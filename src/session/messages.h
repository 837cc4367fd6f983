// SPDX-License-Identifier: GPL-3.0-or-later
// Every text the core's outcomes are shown with: reasons and statuses of
// the list's rows, summaries of passes, undos and tag repairs, and why a
// record could not be used. The core hands over codes and counts; a front
// end turns them into words here, so another language is this one unit.
// Texts are in the code page; lines of a summary end in CR LF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "session/session.h"
#include "tags/uncertain_text.h"
#include "tags/write_result.h"

namespace qorin::session {

// The tooltip of a row's outcome, by the table of its producer; empty for
// none and Unchanged.
std::string reasonText(filelist::Outcome reason, std::int32_t detail);
// Column 命名状态; empty for None.
const std::string& statusText(filelist::Status s);
// Column MP3标签状态: "非MP3文件", "无标签", or empty.
const std::string& mp3StatusText(filelist::Mp3Status s);

// What a message box says after a pass, an undo, a recovery or a tag repair:
// the summary, or why nothing was done.
std::string reportText(const PassReport& r);
// What the window says while it waits for the folder of a FolderBusy report.
std::string waitText(const PassReport& r);

// A pass named as its user knows it: "2026-12-10 14:03 在 /home/u/照片/ 的更名（120 个文件）"
// (without the count when `withFiles` is false or it is not known).
std::string passText(const rename::PassSummary& p, bool withFiles = true);
// The question before 撤消: "撤消 <pass>？".
std::string undoQuestion(const rename::PassSummary& p);
// The question at start about a pass cut short after renaming `renamed` files.
std::string cutShortQuestion(const rename::PassSummary& p, int renamed);
// The question after an undo that left `pending` files away: forget the pass?
std::string forgetQuestion(int pending);
// The newest pass belongs to a program still running.
std::string busyRecordText(const rename::PassSummary& p);
// A pass forgotten: its files keep their names. Nothing: there was none.
std::string forgottenText(const std::optional<rename::PassSummary>& p);
// Records another user owns, or a records folder others may write to, each
// on a line of its own: none of them is used.
std::string refusedRecordsText(const std::vector<std::string>& paths);
// Folders the program would keep its settings and records in but will not
// (Places::refused), each on a line of its own.
std::string refusedFoldersText(const std::vector<std::string>& dirs);
// An entry of the 排序 menu.
std::string sortKeyText(SortKey key);

// The tooltip of 编码无法确定: each text left as it was, by its two readings.
std::string uncertainText(const std::vector<tags::UncertainText>& texts);

// Why a tag could not be written, as a line under the editor's message;
// empty where there is nothing more to say.
std::string writeFailureText(tags::WriteFailure f);

}  // namespace qorin::session
