// SPDX-License-Identifier: GPL-3.0-or-later
// Toolbar 开始命名 and 撤消: the pass or the undo over the session, with the
// wait cursor, the progress marks in the status bar and the summary.
#pragma once

#include "platform/gui/dialogs.h"
#include "session/session.h"

class QLabel;
class QWidget;

namespace qorin::session {

// The bar in `label`, painted as it grows (no user input is taken meanwhile).
rename::ProgressFn showProgress(QLabel* label);
// The status bar's 进度 part: a mark for each twentieth of `total` settled.
QString progressBar(int done, int total);
// The summary of a pass or an undo, or why it could not run.
void showReport(platform::Dialogs& dialogs, QWidget* parent, const PassReport& r);

// The pass and the undo keep the window painting while they run; Esc, or a
// click on the button 停止按钮 inside `progress` (shown meanwhile, when there
// is one), stops them after the file at hand. Other input waits. Each first
// waits, with a message the user can cancel, for its folders while another
// pass, undo or recovery (of any window or qorin-cli) renames in them.
void renameCommand(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent);
// 撤消 names the pass it undoes; when files of it stay away, asks whether to
// forget them.
void undoCommand(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent);
// 右键菜单's MP3标签转为Unicode(&U): asks, then rewrites every MP3 row's ID3v2
// texts as Unicode, with the pass's wait cursor, marks and summary; then,
// when some stayed 编码无法确定, asks which code page to read them in.
void convertTagsCommand(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent);
// 右键菜单's 文件名转为UTF-8(&8): renames each file whose name is kept in the old
// code page to the same text in UTF-8, as a pass.
void convertNamesCommand(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent);
// At start (`atStart`: takeRecordsAtStart, what a crash left first) and
// after an undo (for the pass before), the records of passes as
// Session::takeRecords takes them, newest first: the newest pass cut short
// is asked about (give the names back, or keep the new ones); an unusable
// record is reported once and moved aside.
void recoverAtStart(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent,
                    bool atStart = false);

}  // namespace qorin::session
