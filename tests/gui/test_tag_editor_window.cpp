// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <map>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "platform/open_file.h"
#include "session/messages.h"
#include "tags/gui/byte_limit.h"
#include "tags/gui/tag_editor_window.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/tag_editor_state.h"
#include "text/gbtext.h"
#include "text/gui/qtext.h"
#include "ui_tag_editor_window.h"

using namespace qorin;
using namespace qorin::app;
using tags::TagEditorWindow;
using tags::TagFields;
using Icon = platform::Dialogs::Icon;

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QByteArray fakeAudio() {
  QByteArray a(3000, '\0');
  for (int i = 0; i < a.size(); ++i) a[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  a[0] = '\xFF';
  a[1] = '\xFB';
  return a;
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

struct V1 {
  std::string title, artist, album, year, comment, track;
  int genre = 255;
};

// An MP3 file made of stand-in audio and the tags asked for, written by the tag code.
QString makeMp3(const QString& dir, const QString& name, const V1* v1, const TagFields* v2) {
  const QString path = QDir(dir).filePath(name);
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(fakeAudio());
  f.close();
  platform::OpenFile file(text::fromQtOrEmpty(path), platform::OpenMode::ReadWrite);
  if (v1)
    tags::writeId3v1(file, v1->title, v1->artist, v1->album, v1->year, v1->comment, v1->track, v1->genre);
  if (v2) tags::writeId3v2(file, *v2);
  return path;
}

TagFields v2Fields(const char* title, const char* genre = "") {
  TagFields f;
  f[tags::kTitle] = text::gb(title);
  f[tags::kArtist] = text::gb("歌手");
  f[tags::kAlbum] = "Album";
  f[tags::kGenre] = genre;
  f[tags::kComposer] = "Composer";
  f[tags::kUrl] = "http://q.cn";
  return f;
}

// Runs the mutagen helper; KEY -> text as UTF-8 (stored code-page bytes for encoding 0 are converted).
std::map<QString, QByteArray> mutagen(const QString& command, const QString& path) {
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"),
          {QStringLiteral(QORIN_TOOLS_DIR "/mutagen_tags.py"), command, path});
  p.waitForFinished(60000);
  std::map<QString, QByteArray> out;
  for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
    const QList<QByteArray> cols = line.split('\t');
    if (cols.size() < 2) continue;
    QByteArray bytes = QByteArray::fromHex(cols.last());
    const bool raw = command == QStringLiteral("readv1") || (cols.size() == 3 && cols[1] == "0");
    if (raw) bytes = QByteArray::fromStdString(text::gbToUtf8(bytes.toStdString()).value_or("?"));
    out[QString::fromUtf8(cols[0])] = bytes;
  }
  return out;
}

// Types character by character, as keystrokes (Chinese ones included).
void typeText(QWidget* box, const QString& text) {
  for (const QChar c : text)
    QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

}  // namespace

class TagEditorWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir* dir_ = nullptr;
  testing::AnsweringDialogs* dialogs_ = nullptr;
  tags::TagEditorState state_;

  QString dir() const { return dir_->path(); }

  TagEditorWindow* openEditor(const QString& path) {
    return new TagEditorWindow(text::fromQtOrEmpty(path), state_, *dialogs_, session::writeFailureText);
  }

 private slots:
  void init() {
    dir_ = new QTemporaryDir;
    dialogs_ = new testing::AnsweringDialogs;
    state_ = {};
  }

  void cleanup() {
    platform::failOpenForWriting("");
    delete dialogs_;
    delete dir_;
  }

  void designStateAndLimits() {
    const QString path = makeMp3(dir(), u("歌曲.mp3"), nullptr, nullptr);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    QCOMPARE(w->windowTitle(), u("MP3标签信息"));
    QCOMPARE(w->size(), QSize(556, 357));  // the outer 564 × 384 less frame and caption
    QCOMPARE(w->ui()->MP3文件名编辑框->text(), path);
    for (QComboBox* c : {w->ui()->流派1组合框, w->ui()->流派2组合框}) {
      QCOMPARE(c->count(), 126);
      QCOMPARE(c->itemText(0), u("A capella"));
      QCOMPARE(c->itemData(0).toInt(), 123);
      QCOMPARE(c->itemText(125), u("Vocal"));
      QCOMPARE(c->itemData(125).toInt(), 28);
    }
    QVERIFY(!w->ui()->流派1组合框->isEditable());
    QVERIFY(w->ui()->流派2组合框->isEditable());

    // No tags: both groups grey, both boxes unticked, nothing to update yet.
    QVERIFY(!w->ui()->ID3v1选择框->isChecked());
    QVERIFY(!w->ui()->ID3v2选择框->isChecked());
    QVERIFY(!w->ui()->更新按钮->isEnabled());
    QVERIFY(!w->ui()->v1复制到v2按钮->isEnabled());
    QVERIFY(!w->ui()->v2复制到v1按钮->isEnabled());

    // Limits count code-page bytes: a Chinese character takes two.
    struct Limit {
      QWidget* box;
      int bytes;
    };
    const auto* ui = w->ui();
    const Limit limits[] = {{ui->音轨1编辑框, 2},  {ui->歌曲名1编辑框, 30},  {ui->艺术家1编辑框, 30},
                            {ui->专辑1编辑框, 30}, {ui->年代1编辑框, 4},     {ui->注释1编辑框, 30},
                            {ui->音轨2编辑框, 2},  {ui->歌曲名2编辑框, 1000}};
    w->ui()->ID3v1选择框->click();
    w->ui()->ID3v2选择框->click();
    w->show();
    const QString typed = QString(40, QChar(0x4E2D)) + u("abc");
    for (const Limit& l : limits) {
      QWidget* box = l.box;
      box->setFocus();
      typeText(box, typed);
      auto* line = qobject_cast<QLineEdit*>(box);
      const QString shown = line ? line->text() : qobject_cast<QPlainTextEdit*>(box)->toPlainText();
      QVERIFY2(static_cast<int>(tags::byteLength(shown)) == std::min(l.bytes, 83),
               qPrintable(box->objectName()));
    }
  }

  // Limits hold for typing only: what the program puts into a box stays whole,
  // and typing there may shorten it but not make it longer.
  void programTextIsNotCut() {
    const QString path = makeMp3(dir(), u("a.mp3"), nullptr, nullptr);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    TagFields v1;
    v1[tags::kTitle] = text::gb("0123456789012345678901234567中文");
    v1[tags::kTrack] = "3/12";
    w->showId3v1Fields(v1);
    auto* title = w->ui()->歌曲名1编辑框;
    auto* track = w->ui()->音轨1编辑框;
    QCOMPARE(title->text(), u("0123456789012345678901234567中文"));
    QCOMPARE(track->text(), u("3/12"));
    w->ui()->ID3v1选择框->click();
    w->show();
    track->setFocus();
    track->end(false);
    typeText(track, u("4"));
    QCOMPARE(track->text(), u("3/12"));
    QTest::keyClick(track, Qt::Key_Backspace);
    QCOMPARE(track->text(), u("3/1"));
    track->clear();
    typeText(track, u("123"));
    QCOMPARE(track->text(), u("12"));
  }

  void trackOfATotalSurvivesAnAlbumEdit() {
    TagFields v2 = v2Fields("Title");
    v2[tags::kTrack] = "3/12";
    const V1 v1{"Title", "", "Album", "", "", "3", 17};
    const QString path = makeMp3(dir(), u("a.mp3"), &v1, &v2);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    QCOMPARE(w->ui()->音轨2编辑框->text(), u("3/12"));
    w->show();
    w->ui()->专辑2编辑框->setFocus();
    typeText(w->ui()->专辑2编辑框, u(" 二"));
    w->ui()->v2复制到v1按钮->click();
    QCOMPARE(w->ui()->音轨1编辑框->text(), u("3/12"));  // the copy is the program's text too
    w->ui()->更新按钮->click();
    platform::OpenFile file(text::fromQtOrEmpty(path), platform::OpenMode::Read);
    TagFields back1, back2;
    QVERIFY(tags::readId3v2(file, back2));
    QVERIFY(tags::readId3v1(file, back1));
    QCOMPARE(back2[tags::kTrack], std::string("3/12"));
    QCOMPARE(back2[tags::kAlbum], text::gb("Album 二"));
    QCOMPARE(back1[tags::kTrack], std::string("3"));  // the ID3v1 byte holds the number
  }

  // Fields the user does not touch keep their text; in the ID3v1 block (which
  // has no encoding byte) their very bytes.
  void untouchedFieldsKeepTheirText() {
    QByteArray id3v2("ID3\x03\0\0\0\0\0\x24", 10);
    id3v2 += QByteArray("TIT2\0\0\0\x05\0\0\0Caf\xE9", 15);  // Latin-1 under encoding 0
    id3v2 += QByteArray("TCON\0\0\0\x05\0\0\0(17)", 15);     // a genre reference alone
    id3v2 += QByteArray(6, '\0');
    QByteArray v1(128, '\0');
    v1.replace(0, 3, "TAG");
    v1.replace(3, 5, QByteArray("Bj\xF6rk", 5));  // Latin-1 too
    v1[127] = static_cast<char>(200);             // a genre number past the list
    const QString path = QDir(dir()).filePath(u("a.mp3"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(id3v2 + fakeAudio() + v1);
    f.close();

    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    QCOMPARE(w->ui()->歌曲名2编辑框->text(), u("Café"));
    QCOMPARE(w->ui()->流派2组合框->currentText(), u("Rock"));
    QCOMPARE(w->ui()->歌曲名1编辑框->text(), u("Björk"));
    QCOMPARE(w->ui()->流派1组合框->currentIndex(), -1);
    w->ui()->专辑1编辑框->setText(u("LP"));
    w->ui()->专辑2编辑框->setText(u("LP"));
    w->ui()->更新按钮->click();
    QCOMPARE(dialogs_->messages.size(), 2);

    const QByteArray bytes = readAll(path);
    const QByteArray block = bytes.right(128);
    QCOMPARE(block.mid(3, 6), QByteArray("Bj\xF6rk\0", 6));
    QCOMPARE(block.mid(63, 3), QByteArray("LP\0", 3));
    QCOMPARE(static_cast<unsigned char>(block[127]), 200u);
    auto read2 = mutagen(QStringLiteral("read"), path);
    // The untouched title keeps its frame byte for byte.
    QVERIFY(bytes.contains(QByteArray("TIT2\0\0\0\x05\0\0\0Caf\xE9", 15)));
    QCOMPARE(read2["TCON"], QByteArray("(17)"));
    QCOMPARE(read2["TALB"], QByteArray("LP"));
  }

  void fitToBytesDropsWhatWasJustInserted_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("fitted");
    QTest::addColumn<int>("newCursor");
    QTest::newRow("fits") << u("ab中") << 2 << 4 << u("ab中") << 2;
    QTest::newRow("typed at end") << u("abcde") << 5 << 4 << u("abcd") << 4;
    QTest::newRow("typed in middle") << u("abXcd") << 3 << 4 << u("abcd") << 2;
    QTest::newRow("half a character does not fit") << u("ab中") << 3 << 3 << u("ab") << 2;
    QTest::newRow("tail alone too long") << u("x中文字") << 1 << 4 << u("中文") << 0;
    QTest::newRow("four-byte character")
        << (u("a") + QString::fromUcs4(U"\U0001F600")) << 3 << 4 << u("a") << 1;
  }

  void fitToBytesDropsWhatWasJustInserted() {
    QFETCH(QString, text);
    QFETCH(int, cursor);
    QFETCH(int, limit);
    QFETCH(QString, fitted);
    QFETCH(int, newCursor);
    QCOMPARE(tags::fitToBytes(text, cursor, static_cast<std::size_t>(limit)), fitted);
    QCOMPARE(cursor, newCursor);
  }

  void onlyId3v2OpensWithId3v1Grey() {
    const TagFields v2 = v2Fields("Title", "(17)Rock");
    const QString path = makeMp3(dir(), u("a.mp3"), nullptr, &v2);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    QVERIFY(!w->openFailed());
    QVERIFY(w->ui()->ID3v2选择框->isChecked());
    QCOMPARE(w->ui()->歌曲名2编辑框->text(), u("Title"));
    QCOMPARE(w->ui()->艺术家2编辑框->text(), u("歌手"));
    QCOMPARE(w->ui()->作曲家编辑框->text(), u("Composer"));
    QCOMPARE(w->ui()->URL编辑框->text(), u("http://q.cn"));
    QCOMPARE(w->ui()->流派2组合框->currentText(), u("Rock"));
    QCOMPARE(w->ui()->流派2组合框->currentIndex(), 100);
    QCOMPARE(state_.genreSelection[1], 100);
    QCOMPARE(state_.genreSelection[0], -1);
    // Filling the boxes is not an edit.
    QCOMPARE(state_.tagModified, (std::array<bool, 2>{false, false}));
    QVERIFY(!w->ui()->更新按钮->isEnabled());

    auto* tick = w->ui()->ID3v1选择框;
    QVERIFY(!tick->isChecked());
    const auto* ui = w->ui();
    QWidget* const v1Boxes[] = {ui->音轨1编辑框, ui->歌曲名1编辑框, ui->艺术家1编辑框,
                                ui->专辑1编辑框, ui->年代1编辑框,   ui->注释1编辑框};
    for (QWidget* box : v1Boxes) {
      QVERIFY2(!box->isEnabled(), qPrintable(box->objectName()));
      QCOMPARE(box->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
    }
    QVERIFY(!w->ui()->流派1组合框->isEnabled());
    QVERIFY(!w->ui()->v1复制到v2按钮->isEnabled());
    QVERIFY(w->ui()->v2复制到v1按钮->isEnabled());

    tick->click();
    for (QWidget* box : v1Boxes) {
      QVERIFY2(box->isEnabled(), qPrintable(box->objectName()));
      QCOMPARE(box->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0xFF));
    }
    QVERIFY(w->ui()->流派1组合框->isEnabled());
    QVERIFY(w->ui()->v1复制到v2按钮->isEnabled());
    QVERIFY(w->ui()->更新按钮->isEnabled());
  }

  void copyToId3v1CutsAtACharacterBoundary_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("copied");
    const QString a29(29, QLatin1Char('a'));
    QTest::newRow("40 ASCII bytes") << u("0123456789012345678901234567890123456789")
                                    << u("012345678901234567890123456789");
    QTest::newRow("byte 30 inside a character") << a29 + u("中文字符") << a29;
    QTest::newRow("character ends at byte 30") << a29.left(28) + u("中文") << a29.left(28) + u("中");
    QTest::newRow("short") << u("短") << u("短");
  }

  void copyToId3v1CutsAtACharacterBoundary() {
    QFETCH(QString, title);
    QFETCH(QString, copied);
    const TagFields v2 = v2Fields("x", "Chinese Pop");
    const QString path = makeMp3(dir(), u("a.mp3"), nullptr, &v2);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    w->ui()->歌曲名2编辑框->setText(title);
    w->ui()->年代2编辑框->setText(u("1999"));
    w->ui()->注释2编辑框->setPlainText(title);
    state_.tagModified = {false, false};
    w->ui()->v2复制到v1按钮->click();
    QVERIFY(w->ui()->ID3v1选择框->isChecked());
    QVERIFY(w->ui()->歌曲名1编辑框->isEnabled());
    QCOMPARE(w->ui()->歌曲名1编辑框->text(), copied);
    QCOMPARE(w->ui()->注释1编辑框->toPlainText(), copied);
    QCOMPARE(w->ui()->艺术家1编辑框->text(), u("歌手"));
    QCOMPARE(w->ui()->年代1编辑框->text(), u("1999"));
    // A free-text genre has no item to select in the ID3v1 list.
    QCOMPARE(w->ui()->流派1组合框->currentIndex(), -1);
    QVERIFY(state_.tagModified[0]);
    QVERIFY(!state_.tagModified[1]);
  }

  void copyToId3v2KeepsTheId3v2OnlyBoxes() {
    const V1 v1{"T1", "A1", "L1", "2001", "C1", "7", 0};
    const TagFields v2 = v2Fields("T2");
    const QString path = makeMp3(dir(), u("a.mp3"), &v1, &v2);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    w->ui()->ID3v2选择框->click();  // untick: the copy ticks it again
    state_.tagModified = {false, false};
    w->ui()->v1复制到v2按钮->click();
    QVERIFY(w->ui()->ID3v2选择框->isChecked());
    const auto* ui = w->ui();
    const std::pair<QLineEdit*, const char*> expected[] = {
        {ui->音轨2编辑框, "7"},         {ui->歌曲名2编辑框, "T1"}, {ui->艺术家2编辑框, "A1"},
        {ui->专辑2编辑框, "L1"},        {ui->年代2编辑框, "2001"}, {ui->作曲家编辑框, "Composer"},
        {ui->URL编辑框, "http://q.cn"}, {ui->原创者编辑框, ""}};
    for (const auto& [box, text] : expected) QCOMPARE(box->text(), u(text));
    QCOMPARE(w->ui()->注释2编辑框->toPlainText(), u("C1"));
    QCOMPARE(w->ui()->流派2组合框->currentText(), u("Blues"));
    QVERIFY(state_.tagModified[1]);
    QVERIFY(!state_.tagModified[0]);
  }

  void id3v1GenreSelectsItsItem_data() {
    QTest::addColumn<int>("genre");
    QTest::addColumn<int>("position");
    QTest::newRow("none") << 255 << -1;
    QTest::newRow("past the table") << 126 << -1;
    QTest::newRow("Blues") << 0 << 14;
    QTest::newRow("Rock") << 17 << 100;
    QTest::newRow("Dance Hall") << 125 << 28;
    QTest::newRow("A capella") << 123 << 0;
  }

  void id3v1GenreSelectsItsItem() {
    QFETCH(int, genre);
    QFETCH(int, position);
    const V1 v1{"t", "", "", "", "", "", genre};
    const QString path = makeMp3(dir(), u("a.mp3"), &v1, nullptr);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    QVERIFY(w->ui()->ID3v1选择框->isChecked());
    QCOMPARE(w->ui()->流派1组合框->currentIndex(), position);
    QCOMPARE(state_.genreSelection[0], position);
    if (position >= 0) QCOMPARE(w->ui()->流派1组合框->currentData().toInt(), genre);
  }

  void id3v2GenreTextSelectsAMatchingItem_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("shown");
    QTest::newRow("reference") << u("(0)") << 14 << u("Blues");
    QTest::newRow("name") << u("Rock & Roll") << 99 << u("Rock & Roll");
    QTest::newRow("free text") << u("Chinese Pop") << -1 << u("Chinese Pop");
    QTest::newRow("case differs") << u("rock") << -1 << u("rock");
    QTest::newRow("empty") << u("") << -1 << u("");
  }

  void id3v2GenreTextSelectsAMatchingItem() {
    QFETCH(QString, stored);
    QFETCH(int, index);
    QFETCH(QString, shown);
    const std::string genre = text::fromQtOrEmpty(stored);
    const TagFields v2 = v2Fields("t", genre.c_str());
    const QString path = makeMp3(dir(), u("a.mp3"), nullptr, &v2);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    QCOMPARE(w->ui()->流派2组合框->currentIndex(), index);
    QCOMPARE(w->ui()->流派2组合框->currentText(), shown);
    QVERIFY(!state_.tagModified[1]);
  }

  void choosingTheSelectedGenreAgainMarksNothing() {
    const V1 v1{"t", "", "", "", "", "", 0};
    const TagFields v2 = v2Fields("t", "(0)");
    const QString path = makeMp3(dir(), u("a.mp3"), &v1, &v2);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    auto* g1 = w->ui()->流派1组合框;
    auto* g2 = w->ui()->流派2组合框;
    auto& state = state_;
    emit g1->activated(14);
    emit g2->activated(14);
    QCOMPARE(state.tagModified, (std::array<bool, 2>{false, false}));
    QVERIFY(!w->ui()->更新按钮->isEnabled());

    g1->setCurrentIndex(15);
    emit g1->activated(15);
    QVERIFY(state.tagModified[0]);
    QCOMPARE(state.genreSelection[0], 15);
    QVERIFY(!state.tagModified[1]);
    QVERIFY(w->ui()->更新按钮->isEnabled());
    g2->setEditText(u("Own genre"));  // typing counts
    QVERIFY(state.tagModified[1]);
  }

  void untickingId3v2RemovesTheTagSilently() {
    const TagFields v2 = v2Fields("t");
    const QString path = makeMp3(dir(), u("a.mp3"), nullptr, &v2);
    QVERIFY(readAll(path).startsWith("ID3"));
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    w->ui()->ID3v2选择框->click();
    w->ui()->更新按钮->click();
    QCOMPARE(readAll(path), fakeAudio());
    QVERIFY(dialogs_->messages.isEmpty());
    QVERIFY(w->ui()->更新按钮->isEnabled());
  }

  void editedFieldsReadBackWithMutagen() {
    const V1 v1{"Old title", "Artist1", "Album1", "1990", "", "3", 17};
    const TagFields v2 = v2Fields("二号标题", "(17)Rock");
    const QString path = makeMp3(dir(), u("歌曲.mp3"), &v1, &v2);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    w->ui()->歌曲名1编辑框->setText(u("新标题 New"));
    w->ui()->专辑2编辑框->setText(u("专辑 二"));
    w->ui()->更新按钮->click();
    QCOMPARE(dialogs_->messages.size(), 2);
    QCOMPARE(dialogs_->messages[0].text, u("ID3v1标签更新成功！"));
    QCOMPARE(dialogs_->messages[1].text, u("ID3v2标签更新成功！"));
    for (const auto& m : dialogs_->messages) {
      QCOMPARE(m.title, u("Qorin批量更名器"));
      QVERIFY(m.icon == Icon::None);
    }

    auto read1 = mutagen(QStringLiteral("readv1"), path);
    QCOMPARE(read1["TIT2"], QByteArray("新标题 New"));
    QCOMPARE(read1["TPE1"], QByteArray("Artist1"));
    QCOMPARE(read1["TRCK"], QByteArray("3"));
    QCOMPARE(read1["TCON"], QByteArray("17"));
    auto read2 = mutagen(QStringLiteral("read"), path);
    QCOMPARE(read2["TALB"], QByteArray("专辑 二"));
    QCOMPARE(read2["TIT2"], QByteArray("二号标题"));
    QCOMPARE(read2["TCON"], QByteArray("(17)Rock"));
    QCOMPARE(read2["TCOM"], QByteArray("Composer"));
    QVERIFY(readAll(path).contains(fakeAudio()));

    // 更新 stays enabled and repeats the same actions.
    w->ui()->更新按钮->click();
    QCOMPARE(dialogs_->messages.size(), 4);
  }

  void freeTextGenreIsWrittenAsItStands() {
    const TagFields v2 = v2Fields("t", "(17)Rock");
    const QString path = makeMp3(dir(), u("a.mp3"), nullptr, &v2);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    w->ui()->流派2组合框->setEditText(u("Rockabilly"));
    w->ui()->更新按钮->click();
    QCOMPARE(mutagen(QStringLiteral("read"), path)["TCON"], QByteArray("Rockabilly"));
  }

  void untouchedVersionIsNotRewritten() {
    const V1 v1{"t", "", "", "", "", "", 255};
    const TagFields v2 = v2Fields("t");
    const QString path = makeMp3(dir(), u("a.mp3"), &v1, &v2);
    const QByteArray tail = readAll(path).right(128);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    w->ui()->版权编辑框->setText(u("(c)"));
    w->ui()->更新按钮->click();
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text, u("ID3v2标签更新成功！"));
    QCOMPARE(readAll(path).right(128), tail);

    // The change flags outlive the window: the next opening updates ID3v2 again.
    w.reset(openEditor(path));
    QVERIFY(!w->ui()->更新按钮->isEnabled());
    w->ui()->歌曲名1编辑框->setText(u("v1"));
    w->ui()->更新按钮->click();
    QCOMPARE(dialogs_->messages.size(), 3);
    QCOMPARE(dialogs_->messages[1].text, u("ID3v1标签更新成功！"));
    QCOMPARE(dialogs_->messages[2].text, u("ID3v2标签更新成功！"));
  }

  void id3v1WithoutGenreStoresNoGenre() {
    const QString path = makeMp3(dir(), u("a.mp3"), nullptr, nullptr);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    w->ui()->ID3v1选择框->click();
    w->ui()->歌曲名1编辑框->setText(u("t"));
    // 30 bytes of comment with a track: the track takes the last two, never half a character.
    w->ui()->音轨1编辑框->setText(u("5"));
    w->ui()->注释1编辑框->setPlainText(u("abcdefghijklmnopqrstuvwxyz0中文"));
    w->ui()->更新按钮->click();
    const QByteArray block = readAll(path).right(128);
    QVERIFY(block.startsWith("TAG"));
    QCOMPARE(static_cast<unsigned char>(block[127]), 255u);
    QCOMPARE(static_cast<int>(block[126]), 5);
    QCOMPARE(static_cast<int>(block[125]), 0);
    QCOMPARE(block.mid(97, 28), QByteArray("abcdefghijklmnopqrstuvwxyz0") + QByteArray(1, '\0'));
  }

  void unwritableFileReportsEachFailure_data() {
    QTest::addColumn<bool>("keepV1");
    QTest::addColumn<bool>("keepV2");
    QTest::addColumn<QStringList>("texts");
    // Each failure names its reason on a second line.
    const QString why = u("\n文件是只读的，或不允许写入。");
    QTest::newRow("write both") << true << true
                                << QStringList{u("ID3v1标签更新失败！") + why,
                                               u("ID3v2标签更新失败！") + why};
    QTest::newRow("remove both") << false << false
                                 << QStringList{u("删除ID3v1标签失败！") + why,
                                                u("删除ID3v2标签失败！") + why};
    QTest::newRow("remove v1, write v2")
        << false << true << QStringList{u("删除ID3v1标签失败！") + why, u("ID3v2标签更新失败！") + why};
  }

  void unwritableFileReportsEachFailure() {
    QFETCH(bool, keepV1);
    QFETCH(bool, keepV2);
    QFETCH(QStringList, texts);
    const V1 v1{"t", "", "", "", "", "", 1};
    const TagFields v2 = v2Fields("t");
    const QString path = makeMp3(dir(), u("a.mp3"), &v1, &v2);
    const QByteArray before = readAll(path);
    platform::failOpenForWriting(text::fromQtOrEmpty(path));
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    QVERIFY(!w->openFailed());
    w->ui()->歌曲名1编辑框->setText(u("x"));
    w->ui()->歌曲名2编辑框->setText(u("y"));
    if (!keepV1) w->ui()->ID3v1选择框->click();
    if (!keepV2) w->ui()->ID3v2选择框->click();
    w->ui()->更新按钮->click();
    QCOMPARE(dialogs_->messages.size(), 2);
    for (int i = 0; i < 2; ++i) {
      QCOMPARE(dialogs_->messages[i].text, texts[i]);
      QVERIFY(dialogs_->messages[i].icon == Icon::Stop);
      QCOMPARE(dialogs_->messages[i].title, u("Qorin批量更名器"));
    }
    QCOMPARE(readAll(path), before);
    QCOMPARE(QDir(dir()).entryList(QDir::Files).size(), 1);
  }

  void tabLeavesTheCommentBoxes() {
    const QString path = makeMp3(dir(), u("a.mp3"), nullptr, nullptr);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    for (QPlainTextEdit* box : {w->ui()->注释1编辑框, w->ui()->注释2编辑框}) {
      QTest::keyClick(box, Qt::Key_Tab);
      QVERIFY(box->tabChangesFocus());
      QCOMPARE(box->toPlainText(), QString());
    }
  }

  void id3v1ReadsBackWhatWasTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("Latin-1") << u("Björk");
    QTest::newRow("traditional Chinese") << u("鳳飛飛");
    QTest::newRow("simplified Chinese") << u("凤飞飞");
  }

  void id3v1ReadsBackWhatWasTyped() {
    QFETCH(QString, typed);
    const V1 v1{"t", "", "", "", "", "", 1};
    const QString path = makeMp3(dir(), u("a.mp3"), &v1, nullptr);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    w->ui()->歌曲名1编辑框->setText(typed);
    w->ui()->更新按钮->click();
    QCOMPARE(dialogs_->messages.value(0).text, u("ID3v1标签更新成功！"));
    w.reset(openEditor(path));
    QCOMPARE(w->ui()->歌曲名1编辑框->text(), typed);
  }

  // A text neither the double-byte set nor ISO-8859-1 holds whole writes
  // neither tag, and says which characters are the trouble.
  void id3v1RefusesCharactersItCannotHold() {
    const V1 v1{"t", "", "", "", "", "", 1};
    const TagFields v2 = v2Fields("t");
    const QString path = makeMp3(dir(), u("a.mp3"), &v1, &v2);
    const QByteArray before = readAll(path);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    w->ui()->歌曲名1编辑框->setText(u("Björk 中"));
    w->ui()->歌曲名2编辑框->setText(u("y"));
    w->ui()->更新按钮->click();
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text, u("ID3v1标签无法保存这些字符：ö"));
    QCOMPARE(readAll(path), before);
  }

  // A tag whose frames cannot be walked to the end is shown but not rewritten.
  void tagNotFullyReadIsNotWritten() {
    QByteArray id3v2("ID3\x03\0\0\0\0\0\x1F", 10);
    id3v2 += QByteArray("TIT2\0\0\0\x03\0\0\0ab", 13);
    id3v2 += QByteArray("\x01\x02\x03\x04\0\0\0\x02\0\0zz", 12);
    id3v2 += QByteArray(6, '\0');
    const QString path = QDir(dir()).filePath(u("a.mp3"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(id3v2 + fakeAudio());
    f.close();
    const QByteArray before = readAll(path);
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    QCOMPARE(w->ui()->歌曲名2编辑框->text(), u("ab"));
    w->ui()->歌曲名2编辑框->setText(u("new"));
    w->ui()->更新按钮->click();
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text,
             u("ID3v2标签更新失败！\nID3v2标签结构无法完整读取，为避免丢失数据没有写入。"));
    QCOMPARE(readAll(path), before);
  }

  void missingFileGivesTheErrorMessage() {
    const QString path = QDir(dir()).filePath(u("没有.mp3"));
    std::unique_ptr<TagEditorWindow> w(openEditor(path));
    QVERIFY(w->openFailed());
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].title, u("错误"));
    QCOMPARE(dialogs_->messages[0].text, u("打开文件：") + path + u("失败！"));
    QVERIFY(dialogs_->messages[0].icon == Icon::Stop);
    QVERIFY(!QFile::exists(path));
  }

  void openTagEditorIsModalAndKeepsThePath() {
    const V1 v1{"Shown", "", "", "", "", "", 255};
    const QString path = makeMp3(dir(), u("一.mp3"), &v1, nullptr);
    QWidget owner;
    QString caption, title, shownPath;
    bool modal = false;
    QTimer::singleShot(0, this, [&] {
      auto* editor = qobject_cast<TagEditorWindow*>(QApplication::activeModalWidget());
      if (!editor) return;
      modal = editor->isModal() && editor->parentWidget() == &owner;
      caption = editor->windowTitle();
      title = editor->ui()->歌曲名1编辑框->text();
      shownPath = editor->ui()->MP3文件名编辑框->text();
      editor->ui()->关闭按钮->click();
    });
    tags::openTagEditor(&owner, text::fromQtOrEmpty(path), state_, *dialogs_, session::writeFailureText);
    QVERIFY(modal);
    QCOMPARE(caption, u("MP3标签信息"));
    QCOMPARE(title, u("Shown"));
    QCOMPARE(shownPath, path);
    QCOMPARE(state_.currentMp3Path, text::fromQtOrEmpty(path));
    QVERIFY(dialogs_->messages.isEmpty());

    // A file that has gone away: the error, and no window waits for an answer.
    QFile::remove(path);
    tags::openTagEditor(&owner, text::fromQtOrEmpty(path), state_, *dialogs_, session::writeFailureText);
    QCOMPARE(state_.currentMp3Path, text::fromQtOrEmpty(path));
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].title, u("错误"));
  }

  void mainWindowOpensTheEditorModally() {
    testing::ProgramDirectory home;
    MainWindow main(home.places(), *dialogs_);
    const V1 v1{"From list", "", "", "", "", "", 255};
    makeMp3(dir(), u("一.mp3"), &v1, nullptr);
    main.list()->addDirectory(dir(), false);
    QCOMPARE(main.fileList().rowCount(), 1);
    main.listView()->selectionModel()->select(main.listView()->model()->index(0, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QString caption, title, shownPath;
    QTimer::singleShot(0, this, [&] {
      auto* editor = qobject_cast<TagEditorWindow*>(QApplication::activeModalWidget());
      if (!editor) return;
      caption = editor->windowTitle();
      title = editor->ui()->歌曲名1编辑框->text();
      shownPath = editor->ui()->MP3文件名编辑框->text();
      editor->ui()->关闭按钮->click();
    });
    main.openTagEditorForSelection(true);
    QCOMPARE(caption, u("MP3标签信息"));
    QCOMPARE(title, u("From list"));
    QCOMPARE(shownPath, QDir(dir()).filePath(u("一.mp3")));

    // A listed file that has gone away: the error, and no window waits for an answer.
    QFile::remove(QDir(dir()).filePath(u("一.mp3")));
    main.openTagEditorForSelection(false);
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].title, u("错误"));
  }
};

QTEST_MAIN(TagEditorWindowTest)
#include "test_tag_editor_window.moc"
