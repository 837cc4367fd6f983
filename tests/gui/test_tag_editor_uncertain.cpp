// SPDX-License-Identifier: GPL-3.0-or-later
// Tag editor boxes whose text is a guess between two encodings.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "answering_dialogs.h"
#include "session/messages.h"
#include "tags/gui/tag_editor_window.h"
#include "tags/tag_editor_state.h"
#include "text/detect.h"
#include "text/gui/qtext.h"
#include "ui_tag_editor_window.h"

using namespace qorin;
using tags::TagEditorWindow;

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// Two characters as Big5 ("趙傳") that read as well as GBK.
const QByteArray kAmbiguous("\xBB\xAF\xB6\xC7");

QByteArray textFrame(const char* id, const QByteArray& text) {
  const QByteArray content = QByteArray(1, '\0') + text;  // encoding 0: no label
  return QByteArray(id) + QByteArray(3, '\0') + static_cast<char>(content.size()) + QByteArray(2, '\0') +
         content;
}

// Stand-in audio between an ID3v2.3 tag and an ID3v1 block, both titled with
// the ambiguous bytes.
QByteArray mp3WithAmbiguousTitles() {
  const QByteArray frames = textFrame("TIT2", kAmbiguous) + textFrame("TPE1", "Band");
  QByteArray file = QByteArray("ID3\x03\0\0\0\0\0", 9) + static_cast<char>(frames.size()) + frames;
  QByteArray audio(2000, '\x55');
  audio[0] = '\xFF';
  audio[1] = '\xFB';
  QByteArray v1(128, '\0');
  v1.replace(0, 3, "TAG");
  v1.replace(3, kAmbiguous.size(), kAmbiguous);
  v1.replace(33, 4, "Band");
  v1[127] = static_cast<char>(255);
  return file + audio + v1;
}

QColor base(const QWidget* w) { return w->palette().color(QPalette::Base); }

}  // namespace

class TagEditorUncertainTest : public QObject {
  Q_OBJECT

 private slots:
  void guessesAreMarkedAndKeptAsStored() {
    const text::Reading reading = text::readUnlabelled(kAmbiguous.toStdString());
    QVERIFY(reading.uncertain);
    const QString tip = u("编码无法确定，也可能是：“") + text::toQt(reading.alternative) + u("”");

    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(u("a.mp3"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(mp3WithAmbiguousTitles());
    f.close();

    testing::AnsweringDialogs dialogs;
    tags::TagEditorState state;
    TagEditorWindow w(text::fromQtOrEmpty(path), state, dialogs, session::writeFailureText);
    const auto* ui = w.ui();
    QCOMPARE(ui->歌曲名2编辑框->text(), text::toQt(reading.text));
    for (QLineEdit* certain : {ui->艺术家1编辑框, ui->艺术家2编辑框, ui->专辑2编辑框}) {
      QVERIFY(certain->toolTip().isEmpty());
      QCOMPARE(base(certain), QColor(Qt::white));
    }
    for (QLineEdit* guessed : {ui->歌曲名1编辑框, ui->歌曲名2编辑框}) {
      QCOMPARE(guessed->toolTip(), tip);
      QVERIFY(base(guessed) != QColor(Qt::white));
    }
    w.show();
    if (const QString shots = qEnvironmentVariable("QORIN_SHOTS"); !shots.isEmpty())
      w.grab().save(QDir(shots).filePath(u("uncertain.png")));

    // Editing other boxes writes both tags; the titles keep their bytes.
    ui->专辑1编辑框->setText(u("LP"));
    ui->专辑2编辑框->setText(u("LP"));
    ui->更新按钮->click();
    QCOMPARE(dialogs.messages.size(), 2);
    QFile back(path);
    QVERIFY(back.open(QIODevice::ReadOnly));
    const QByteArray bytes = back.readAll();
    QVERIFY(bytes.contains(textFrame("TIT2", kAmbiguous)));
    QCOMPARE(bytes.right(128).mid(3, 5), kAmbiguous + '\0');

    // An edited box no longer shows the guess.
    ui->歌曲名2编辑框->setFocus();
    QTest::keyClick(ui->歌曲名2编辑框, Qt::Key_End);
    QTest::keyClick(ui->歌曲名2编辑框, Qt::Key_Backspace);
    QVERIFY(ui->歌曲名2编辑框->toolTip().isEmpty());
    QCOMPARE(base(ui->歌曲名2编辑框), QColor(Qt::white));
    QCOMPARE(ui->歌曲名1编辑框->toolTip(), tip);
  }
};

QTEST_MAIN(TagEditorUncertainTest)
#include "test_tag_editor_uncertain.moc"
