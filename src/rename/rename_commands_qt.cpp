#include "rename/rename_commands_qt.h"

#include <QCoreApplication>
#include <QLabel>

#include "app/main_window.h"
#include "rename/rename_pass.h"
#include "text/qtext_qt.h"

namespace qorin::rename {

namespace {

const QString kTitle = QStringLiteral("Qorin批量更名器");

// Shows the bar and lets the window paint (no user input is taken meanwhile,
// so nothing can run into the pass).
ProgressFn showProgress(MainWindow& w) {
  return [&w](std::string_view bar) {
    w.statusPart(1)->setText(text::toQt(bar));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
}

void showSummary(MainWindow& w, const Summary& s) {
  platform::dialogs().message(
      &w, kTitle, text::toQt(s.text),
      s.allSucceeded ? platform::Dialogs::Icon::Information : platform::Dialogs::Icon::Exclamation);
}

}  // namespace

void renameCommand(MainWindow& w) {
  FileList& list = w.fileList();
  int succeeded = 0;
  {
    w.setToolbarButtonEnabled(MainWindow::kPreview, false);
    MainWindow::WaitCursor wait;
    w.applyRule(list.fileCount());  // fresh names for every entry, whatever the preview covers
    succeeded = renamePass(list, showProgress(w));
  }
  w.setToolbarButtonEnabled(MainWindow::kPreview, true);
  w.setToolbarButtonEnabled(MainWindow::kUndo, true);
  showSummary(w, renameSummary(list.fileCount(), succeeded));
}

void undoCommand(MainWindow& w) {
  if (!platform::dialogs().askYesNo(&w, QStringLiteral("询问："), QStringLiteral("是否真的撤消上一次操作？"),
                                    platform::Dialogs::Icon::Information))
    return;
  FileList& list = w.fileList();
  int succeeded = 0;
  {
    MainWindow::WaitCursor wait;
    succeeded = undoLastPass(list, showProgress(w));
    w.statusPart(1)->clear();
  }
  w.setToolbarButtonEnabled(MainWindow::kUndo, false);
  showSummary(w, undoSummary(list.fileCount(), succeeded));
}

}  // namespace qorin::rename
