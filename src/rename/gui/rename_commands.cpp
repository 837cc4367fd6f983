#include "rename/gui/rename_commands.h"

#include <QCoreApplication>
#include <QLabel>

#include "app/main_window.h"
#include "platform/fs.h"
#include "rename/rename_pass.h"
#include "text/gui/qtext.h"

namespace qorin::rename {

namespace {

const QString kTitle = QStringLiteral("Qorin批量更名器");

// Shows the bar and lets the window paint (no user input is taken meanwhile,
// so nothing can run into the pass).
ProgressFn showProgress(app::MainWindow& w) {
  return [&w](std::string_view bar) {
    w.statusPart(1)->setText(text::toQt(bar));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
}

void showSummary(app::MainWindow& w, const Summary& s) {
  platform::dialogs().message(
      &w, kTitle, text::toQt(s.text),
      s.allSucceeded ? platform::Dialogs::Icon::Information : platform::Dialogs::Icon::Exclamation);
}

// The undo record of the last pass, kept between runs.
std::string journalPath() { return platform::stateDirectory() + "journal"; }

}  // namespace

void renameCommand(app::MainWindow& w) {
  filelist::FileList& list = w.fileList();
  PassOutcome pass;
  {
    w.setToolbarButtonEnabled(app::MainWindow::kPreview, false);
    app::MainWindow::WaitCursor wait;
    w.applyRule(list.fileCount());  // fresh names for every entry, whatever the preview covers
    pass = renamePass(list, journalPath(), showProgress(w));
  }
  w.setToolbarButtonEnabled(app::MainWindow::kPreview, true);
  if (pass.status == PassOutcome::Status::JournalFailed) {
    platform::dialogs().message(&w, kTitle,
                                QStringLiteral("无法写入更名记录，没有文件被更名。\r\n\r\n") +
                                    text::toQt(platform::errorText(pass.journalError)),
                                platform::Dialogs::Icon::Exclamation);
    return;
  }
  w.setToolbarButtonEnabled(app::MainWindow::kUndo, true);
  showSummary(w, renameSummary(list.fileCount(), pass.succeeded));
}

void undoCommand(app::MainWindow& w) {
  if (!platform::dialogs().askYesNo(&w, QStringLiteral("询问："), QStringLiteral("是否真的撤消上一次操作？"),
                                    platform::Dialogs::Icon::Information))
    return;
  filelist::FileList& list = w.fileList();
  RecordOutcome undo;
  {
    app::MainWindow::WaitCursor wait;
    undo = undoLastPass(journalPath(), showProgress(w));
    showUndoInList(list, undo);
    w.statusPart(1)->clear();
  }
  w.setToolbarButtonEnabled(app::MainWindow::kUndo, false);
  showSummary(w, undoSummary(undo.total, undo.restored));
}

}  // namespace qorin::rename
