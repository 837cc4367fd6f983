#include "rename/gui/rename_commands.h"

#include <QCoreApplication>
#include <QLabel>

#include "platform/gui/wait_cursor.h"
#include "text/gui/qtext.h"

namespace qorin::rename {

ProgressFn showProgress(QLabel* label) {
  return [label](std::string_view bar) {
    label->setText(text::toQt(bar));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
}

void showReport(platform::Dialogs& dialogs, QWidget* parent, const session::PassReport& r) {
  if (!r.problem.empty()) {
    dialogs.message(parent, platform::programTitle(), text::toQt(r.problem),
                    platform::Dialogs::Icon::Exclamation);
    return;
  }
  dialogs.message(
      parent, platform::programTitle(), text::toQt(r.summary.text),
      r.summary.allSucceeded ? platform::Dialogs::Icon::Information : platform::Dialogs::Icon::Exclamation);
}

void renameCommand(session::Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent) {
  session::PassReport r;
  {
    platform::WaitCursor wait;
    r = s.renameAll(showProgress(progress));
  }
  showReport(dialogs, parent, r);
}

void undoCommand(session::Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent) {
  if (!dialogs.askYesNo(parent, QStringLiteral("询问："), QStringLiteral("是否真的撤消上一次操作？"),
                        platform::Dialogs::Icon::Information))
    return;
  session::PassReport r;
  {
    platform::WaitCursor wait;
    r = s.undoLastPass(showProgress(progress));
    progress->clear();
  }
  showReport(dialogs, parent, r);
}

void convertTagsCommand(session::Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent) {
  if (!dialogs.askYesNo(
          parent, platform::programTitle(),
          QStringLiteral("把列表中MP3文件的ID3v2标签文字改为Unicode编码，其他内容不变。是否继续？"),
          platform::Dialogs::Icon::Information))
    return;
  session::PassReport r;
  {
    platform::WaitCursor wait;
    r = s.convertTagsToUnicode(showProgress(progress));
    progress->clear();
  }
  showReport(dialogs, parent, r);
}

void recoverAtStart(session::Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent) {
  int renamed = 0;
  std::string problem;
  switch (s.checkRecordAtStart(renamed, problem)) {
    case session::StartRecord::Unusable:
      dialogs.message(parent, platform::programTitle(), text::toQt(problem),
                      platform::Dialogs::Icon::Exclamation);
      return;
    case session::StartRecord::Interrupted:
      break;
    case session::StartRecord::Nothing:
      return;
  }
  const bool rollBack =
      dialogs.askYesNo(parent, platform::programTitle(),
                       QStringLiteral("上次更名没有完成：") + QString::number(renamed) +
                           QStringLiteral(" 个文件已经更名。\r\n\r\n是否恢复这些文件原来的名称？"),
                       platform::Dialogs::Icon::Exclamation);
  session::PassReport r;
  {
    platform::WaitCursor wait;
    r = s.recoverInterrupted(rollBack, showProgress(progress));
    progress->clear();
  }
  if (rollBack || !r.problem.empty()) showReport(dialogs, parent, r);
}

}  // namespace qorin::rename
