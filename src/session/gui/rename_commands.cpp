// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/gui/rename_commands.h"

#include <QApplication>
#include <QLabel>
#include <functional>
#include <optional>

#include "platform/gui/wait_cursor.h"
#include "session/gui/run_guard.h"
#include "session/messages.h"
#include "session/start_up.h"
#include "text/gui/qtext.h"

namespace qorin::session {

using namespace qorin::rename;

QString progressBar(int done, int total) {
  return QString(rename::progressMarks(done, total), QChar(0x25A0));  // ■
}

ProgressFn showProgress(QLabel* label) {
  return [label](int done, int total) {
    label->setText(progressBar(done, total));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
}

void showReport(platform::Dialogs& dialogs, QWidget* parent, const PassReport& r) {
  dialogs.message(
      parent, platform::programTitle(), text::toQt(reportText(r)),
      r.allSucceeded() ? platform::Dialogs::Icon::Information : platform::Dialogs::Icon::Exclamation);
}

namespace {

// Runs a pass, an undo or a tag repair under the wait cursor with Esc and
// 停止 on offer, then shows its summary.
PassReport runStoppable(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent,
                        bool clearBar,
                        const std::function<PassReport(const ProgressFn&, const StopFn&)>& run) {
  PassReport r;
  {
    platform::WaitCursor wait;
    RunGuard guard(progress);
    SessionStop planning(s, guard);
    r = run(guard.progress(), guard.stop());
    if (clearBar) progress->clear();
  }
  showReport(dialogs, parent, r);
  return r;
}

// The folders of `what` locked before it runs. While another pass, undo or
// recovery holds one, a message with 取消 says so and they are tried again
// every so often; false when cancelled. Locks that cannot be had at all
// are the run's to report, beside what else keeps it from starting.
bool lockFolders(Session& s, Run what, platform::Dialogs& dialogs, QWidget* parent) {
  PassReport r = s.lockFolders(what);
  if (r.problem != Problem::FolderBusy ||
      dialogs.waitUntil(parent, platform::programTitle(), text::toQt(waitText(r)),
                        [&] { return s.lockFolders(what).problem != Problem::FolderBusy; }))
    return true;
  s.unlockFolders();
  return false;
}

}  // namespace

void renameCommand(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent) {
  if (!s.commands().rename) return;  // a rule that cannot run, or nothing listed
  if (!lockFolders(s, Run::Pass, dialogs, parent)) return;
  runStoppable(s, dialogs, progress, parent, false,
               [&](const ProgressFn& bar, const StopFn& stop) { return s.renameAll(bar, stop); });
}

void undoCommand(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent) {
  const std::optional<rename::PassSummary> pass = s.undoPass();
  const QString question =
      pass ? text::toQt(undoQuestion(*pass)) : QStringLiteral("是否真的撤消上一次操作？");
  if (!dialogs.askYesNo(parent, QStringLiteral("询问："), question, platform::Dialogs::Icon::Information) ||
      !lockFolders(s, Run::Undo, dialogs, parent))
    return;
  const PassReport r =
      runStoppable(s, dialogs, progress, parent, true,
                   [&](const ProgressFn& bar, const StopFn& stop) { return s.undoLastPass(bar, stop); });
  // Files that could not be found or moved keep the record for another
  // undo, unless the user would rather forget them.
  if (r.pending > 0 && r.total - r.succeeded - r.stopped > 0 &&
      dialogs.askYesNo(parent, platform::programTitle(), text::toQt(forgetQuestion(r.pending)),
                       platform::Dialogs::Icon::Exclamation))
    s.forgetLastPass();
  // A pass before it that was cut short is asked about once this one is settled.
  recoverAtStart(s, dialogs, progress, parent);
}

void convertTagsCommand(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent) {
  if (!dialogs.askYesNo(
          parent, platform::programTitle(),
          QStringLiteral("把列表中MP3文件的ID3v2标签文字改为Unicode编码，其他内容不变。是否继续？"),
          platform::Dialogs::Icon::Information))
    return;
  const PassReport r = runStoppable(
      s, dialogs, progress, parent, true,
      [&](const ProgressFn& bar, const StopFn& stop) { return s.convertTagsToUnicode(bar, stop); });
  if (r.uncertain == 0 || r.stopped > 0) return;
  // What neither its tag nor its folder could decide is the user's to name.
  const std::optional<int> pick =
      dialogs.chooseItem(parent, platform::programTitle(),
                         QStringLiteral("%1 个文件编码无法确定。按哪种编码转为Unicode？").arg(r.uncertain),
                         {QStringLiteral("GBK（简体中文）"), QStringLiteral("Big5（繁体中文）")});
  if (!pick) return;
  const text::Charset codePage = *pick == 0 ? text::Charset::Gbk : text::Charset::Big5;
  runStoppable(s, dialogs, progress, parent, true, [&](const ProgressFn& bar, const StopFn& stop) {
    return s.convertTagsToUnicode(bar, stop, codePage);
  });
}

void convertNamesCommand(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent) {
  if (!lockFolders(s, Run::Pass, dialogs, parent)) return;
  runStoppable(s, dialogs, progress, parent, true,
               [&](const ProgressFn& bar, const StopFn& stop) { return s.convertNamesToUtf8(bar, stop); });
}

void recoverAtStart(Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent, bool atStart) {
  std::optional<platform::WaitCursor> wait;  // while a recovery runs, not over a question
  RecordAsker ask;
  ask.cutShort = [&](const rename::PassSummary& pass, int renamed) {
    const bool rollBack =
        dialogs.askYesNo(parent, platform::programTitle(), text::toQt(cutShortQuestion(pass, renamed)),
                         platform::Dialogs::Icon::Exclamation);
    wait.emplace();  // the recovery follows
    return rollBack ? CutShort::RollBack : CutShort::Keep;
  };
  ask.progress = showProgress(progress);
  ask.recovered = [&](const PassReport& r, CutShort how) {
    wait.reset();
    progress->clear();
    // Cancelled while another run held its folder: it stays cut short, asked about later.
    if (r.problem == Problem::FolderBusy) return;
    // Keeping the new names needs no word unless something went wrong.
    if (how == CutShort::RollBack || r.problem != Problem::None || r.recordCut())
      showReport(dialogs, parent, r);
  };
  ask.setAside = [&](const PassReport& r) { showReport(dialogs, parent, r); };
  ask.refused = [&](const std::vector<std::string>& paths) {
    dialogs.message(parent, platform::programTitle(), text::toQt(refusedRecordsText(paths)),
                    platform::Dialogs::Icon::Exclamation);
  };
  ask.waitForFolder = [&](const PassReport& busy, const std::function<bool()>& ready) {
    wait.reset();
    const bool free = dialogs.waitUntil(parent, platform::programTitle(), text::toQt(waitText(busy)), ready);
    wait.emplace();
    return free;
  };
  if (atStart) {
    takeRecordsAtStart(s, ask);
  } else {
    s.takeRecords(ask);
  }
}

}  // namespace qorin::session
