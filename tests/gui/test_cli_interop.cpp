// SPDX-License-Identifier: GPL-3.0-or-later
// The window and qorin-cli share the record of the last pass: each undoes
// the other's once its owner has ended.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "text/gui/qtext.h"

using namespace qorin;
using namespace qorin::app;

class CliInteropTest : public QObject {
  Q_OBJECT

  static QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }

  // A copy of qorin-cli in `home`, where it keeps its files as the window given that folder does.
  static int cli(const QTemporaryDir& home, const QStringList& args) {
    const QString program = home.filePath(QStringLiteral("qorin-cli"));
    if (!QFile::exists(program)) QFile::copy(QStringLiteral(QORIN_CLI_PATH), program);
    QProcess p;
    p.start(program, args);
    p.waitForFinished();
    return p.exitCode();
  }
  static session::Places placesOf(const QTemporaryDir& home) {
    return session::Places::forProgram(text::fromQtOrEmpty(home.path()));
  }

 private slots:
  void theWindowUndoesACommandLinePass() {
    QTemporaryDir home, dir;
    testing::makeFiles(dir.path(), {"a.txt", "b.txt"});
    QCOMPARE(cli(home, {"-x", "--number", "1,1,1", "--name", "n", dir.path()}), 0);
    QCOMPARE(filesIn(dir.path()), (QStringList{"n1.txt", "n2.txt"}));
    testing::AnsweringDialogs dialogs;
    MainWindow w(placesOf(home), dialogs);
    QVERIFY(w.toolbarAction(MainWindow::kUndo)->isEnabled());
    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(filesIn(dir.path()), (QStringList{"a.txt", "b.txt"}));
  }

  void theCommandLineUndoesAClosedWindowsPass() {
    QTemporaryDir home, dir;
    testing::makeFiles(dir.path(), {"1.txt", "2.txt"});
    {
      testing::AnsweringDialogs dialogs;
      MainWindow w(placesOf(home), dialogs);
      w.list()->addDirectory(dir.path(), false);
      w.toolbarClicked(MainWindow::kRename);
      QCOMPARE(filesIn(dir.path()), (QStringList{"0.txt", "1.txt"}));
      // Open, the window owns its record: the command line names its pass and leaves it alone.
      QCOMPARE(cli(home, {"--undo"}), 1);
      QCOMPARE(filesIn(dir.path()), (QStringList{"0.txt", "1.txt"}));
      w.close();
    }
    QCOMPARE(cli(home, {"--undo"}), 0);
    QCOMPARE(filesIn(dir.path()), (QStringList{"1.txt", "2.txt"}));
  }
};

QTEST_MAIN(CliInteropTest)
#include "test_cli_interop.moc"
