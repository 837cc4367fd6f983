// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "answering_dialogs.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "text/gui/qtext.h"

using namespace qorin;
using namespace qorin::app;

class CommandLineTest : public QObject {
  Q_OBJECT

  // The listed files as full paths, in list order.
  static QStringList listed(MainWindow& w) {
    QStringList out;
    for (int r = 0; r < w.fileList().fileCount(); ++r) out << text::toQt(w.fileList()[r].oldPath());
    return out;
  }

 private slots:
  void filesFirstInTheirOrderThenEachFoldersFiles() {
    testing::ProgramDirectory home;
    QTemporaryDir dir;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    const QString a = dir.filePath(QStringLiteral("a")), b = dir.filePath(QStringLiteral("b"));
    testing::makeFiles(a, {QStringLiteral("2.mp3"), QStringLiteral("1.mp3")});
    testing::makeFiles(b, {QStringLiteral("音乐.mp3")});
    const QStringList loose =
        testing::makeFiles(dir.path(), {QStringLiteral("z.txt"), QStringLiteral("y 空格.txt")});
    openCommandLine(w, {a, loose[0], b + QLatin1Char('/'), loose[1]});
    QCOMPARE(listed(w), (QStringList{loose[0], loose[1], a + QStringLiteral("/1.mp3"),
                                     a + QStringLiteral("/2.mp3"), b + QStringLiteral("/音乐.mp3")}));
    QVERIFY(dialogs.messages.isEmpty());
  }

  void relativePathsAndFileUrls() {
    testing::ProgramDirectory home;
    QTemporaryDir dir;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    const QStringList files =
        testing::makeFiles(dir.path(), {QStringLiteral("rel.txt"), QStringLiteral("url 文件.txt")});
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    openCommandLine(w, {QStringLiteral("./sub/../rel.txt"), QUrl::fromLocalFile(files[1]).toString()});
    QDir::setCurrent(before);
    QCOMPARE(listed(w), files);
  }

  void missingPathsAddNothing() {
    testing::ProgramDirectory home;
    QTemporaryDir dir;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    const QStringList files = testing::makeFiles(dir.path(), {QStringLiteral("here.txt")});
    openCommandLine(w, {dir.filePath(QStringLiteral("gone.txt")), dir.filePath(QStringLiteral("gone/")),
                        files[0], QString()});
    QCOMPARE(listed(w), files);
    QVERIFY(dialogs.messages.isEmpty());
  }

  // No options: one message names what looked like one, and the paths
  // around it are added all the same.
  void optionLikeArgumentsAreNamedOnce() {
    testing::ProgramDirectory home;
    QTemporaryDir dir;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    const QStringList files = testing::makeFiles(dir.path(), {QStringLiteral("a.txt")});
    openCommandLine(w, {QStringLiteral("--help"), files[0], QStringLiteral("-x")});
    QCOMPARE(listed(w), files);
    QCOMPARE(dialogs.messages.size(), 1);
    const auto& m = dialogs.messages.first();
    QCOMPARE(m.title, QStringLiteral("Qorin批量更名器"));
    QCOMPARE(m.icon, platform::Dialogs::Icon::Exclamation);
    QVERIFY(!m.question);
    QVERIFY2(m.text.contains(QStringLiteral("--help")) && m.text.contains(QStringLiteral("-x")),
             qPrintable(m.text));

    testing::AnsweringDialogs quiet;
    MainWindow plain(home.places(), quiet);
    openCommandLine(plain, {});
    QCOMPARE(plain.fileList().fileCount(), 0);
    QVERIFY(quiet.messages.isEmpty());
  }
};

QTEST_MAIN(CommandLineTest)
#include "test_command_line.moc"
