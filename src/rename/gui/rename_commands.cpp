#include "rename/gui/rename_commands.h"

#include <QCoreApplication>
#include <QLabel>

#include "platform/gui/wait_cursor.h"
#include "text/gui/qtext.h"

namespace qorin::rename {

namespace {

// Shows the bar and lets the window paint (no user input is taken meanwhile,
// so nothing can run into the pass).
ProgressFn showProgress(QLabel* label) {
  return [label](std::string_view bar) {
    label->setText(text::toQt(bar));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
}

void showSummary(platform::Dialogs& dialogs, QWidget* parent, const Summary& s) {
  dialogs.message(
      parent, platform::programTitle(), text::toQt(s.text),
      s.allSucceeded ? platform::Dialogs::Icon::Information : platform::Dialogs::Icon::Exclamation);
}

}  // namespace

void renameCommand(session::Session& s, platform::Dialogs& dialogs, QLabel* progress, QWidget* parent) {
  session::PassReport r;
  {
    platform::WaitCursor wait;
    r = s.renameAll(showProgress(progress));
  }
  showSummary(dialogs, parent, r.summary);
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
  showSummary(dialogs, parent, r.summary);
}

}  // namespace qorin::rename
