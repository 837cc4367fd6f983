// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/gui/tag_editor_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/gui/colours.h"
#include "platform/gui/dialogs.h"
#include "tags/genre_positions.h"
#include "tags/genres.h"
#include "tags/gui/byte_limit.h"
#include "tags/tag_editing.h"
#include "tags/tag_editor_fields.h"
#include "tags/tag_editor_state.h"
#include "text/gbtext.h"
#include "text/gui/qtext.h"
#include "ui_tag_editor_window.h"

namespace qorin::tags {

namespace {

using Icon = platform::Dialogs::Icon;

// Byte limits of the boxes: the ID3v1 fields' sizes; both track boxes take two digits.
constexpr std::size_t kV1TextBytes = 30;
constexpr std::size_t kYearBytes = 4;
constexpr std::size_t kTrackBytes = 2;

enum class Shade { Plain, Greyed, Guessed };

// The boxes' backgrounds: the design's white, grey and the guess's pale amber
// on a light palette; on a dark one the palette's own field and window, and
// an amber the palette's text still reads on.
QColor shade(const QPalette& p, Shade s) {
  if (platform::isLightPalette(p))
    return s == Shade::Plain    ? QColor(0xFF, 0xFF, 0xFF)
           : s == Shade::Greyed ? QColor(0xC0, 0xC0, 0xC0)
                                : QColor(0xFF, 0xF2, 0xB0);
  const QColor base = p.color(QPalette::Base);
  if (s == Shade::Plain) return base;
  if (s == Shade::Greyed) return p.color(QPalette::Window);
  for (double t = 0.4; t > 0; t -= 0.05)
    if (const QColor c = platform::mix(base, QColor(0xC8, 0xA0, 0x00), t);
        platform::contrastRatio(c, p.color(QPalette::Text)) >= 4.5)
      return c;
  return base;
}

std::string codePage(const QLineEdit* box) { return text::fromQtOrEmpty(box->text()); }
std::string codePage(const QPlainTextEdit* box) { return text::fromQtOrEmpty(box->toPlainText()); }

// The first 30 bytes, as the ID3v1 fields hold them.
QString cutForId3v1(const std::string& s) { return text::toQt(text::cutToBytes(s, kV1TextBytes)); }

void setBackground(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Base, c);
  w->setPalette(p);
}

void tell(platform::Dialogs& dialogs, QWidget* owner, const char* text, Icon icon) {
  dialogs.message(owner, platform::programTitle(), QString::fromUtf8(text), icon);
}

// A failed write: today's text, then the reason on a line of its own.
void tellFailure(platform::Dialogs& dialogs, FailureWords words, QWidget* owner, const char* what,
                 WriteResult result) {
  QString message = QString::fromUtf8(what);
  if (const std::string reason = words(result.failure); !reason.empty())
    message += u'\n' + text::toQt(reason);
  dialogs.message(owner, platform::programTitle(), message, Icon::Stop);
}

}  // namespace

void openTagEditor(QWidget* parent, const std::string& path, TagEditorState& state,
                   platform::Dialogs& dialogs, FailureWords failureWords) {
  state.currentMp3Path = path;
  TagEditorWindow window(state.currentMp3Path, state, dialogs, failureWords, parent);
  if (window.openFailed()) return;
  window.exec();
}

TagEditorWindow::TagEditorWindow(const std::string& path, TagEditorState& state, platform::Dialogs& dialogs,
                                 FailureWords failureWords, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TagEditorWindow>()),
      path_(path),
      state_(state),
      dialogs_(dialogs),
      failureWords_(failureWords) {
  ui_->setupUi(this);
  setFixedSize(size());
  setUpControls();
  const EditorTags t = loadEditorTags(path_);
  ui_->MP3文件名编辑框->setText(text::toQt(t.shownPath));
  joinHandlers();
  if (!t.opened) {
    openFailed_ = true;
    dialogs_.message(parent, QStringLiteral("错误"),
                     QStringLiteral("打开文件：") + text::toQt(t.shownPath) + QStringLiteral("失败！"),
                     Icon::Stop);
    return;
  }

  filling_ = true;
  ui_->ID3v1选择框->setChecked(t.hasV1);
  if (t.hasV1)
    showId3v1Fields(t.v1, &t.v1Stored, &t.v1Others);
  else
    setId3v1GroupState();
  ui_->ID3v2选择框->setChecked(t.hasV2);
  if (t.hasV2)
    showId3v2Fields(t.v2, &t.v2Stored, &t.v2Others);
  else
    setId3v2GroupState();

  state_.genreSelection[0] = ui_->流派1组合框->currentIndex();
  state_.genreSelection[1] = ui_->流派2组合框->currentIndex();
  ui_->更新按钮->setEnabled(false);
  filling_ = false;
}

TagEditorWindow::~TagEditorWindow() = default;

std::array<QWidget*, 6> TagEditorWindow::id3v1Boxes() const {
  return {ui_->音轨1编辑框, ui_->歌曲名1编辑框, ui_->艺术家1编辑框,
          ui_->专辑1编辑框, ui_->年代1编辑框,   ui_->注释1编辑框};
}

std::array<QWidget*, 11> TagEditorWindow::id3v2Boxes() const {
  return {ui_->音轨2编辑框,  ui_->歌曲名2编辑框, ui_->艺术家2编辑框, ui_->专辑2编辑框,
          ui_->年代2编辑框,  ui_->注释2编辑框,   ui_->版权编辑框,    ui_->作曲家编辑框,
          ui_->原创者编辑框, ui_->URL编辑框,     ui_->编码者编辑框};
}

void TagEditorWindow::setUpControls() {
  for (QComboBox* combo : {ui_->流派1组合框, ui_->流派2组合框}) {
    for (int pos = 0; pos < kGenreCount; ++pos) {
      const int number = genreAtPosition(pos).value_or(0);
      combo->addItem(text::toQt(genreNames[static_cast<std::size_t>(number)]), number);
    }
    combo->setCurrentIndex(-1);
  }
  const std::pair<QLineEdit*, std::size_t> limits[] = {
      {ui_->音轨1编辑框, kTrackBytes},    {ui_->歌曲名1编辑框, kV1TextBytes},
      {ui_->艺术家1编辑框, kV1TextBytes}, {ui_->专辑1编辑框, kV1TextBytes},
      {ui_->年代1编辑框, kYearBytes},     {ui_->音轨2编辑框, kTrackBytes}};
  for (const auto& [box, bytes] : limits) box->setValidator(new ByteLimitValidator(bytes, box));
  limitBytes(ui_->注释1编辑框, kV1TextBytes);
  // A comment has no use for a tab: the key moves on as in the other boxes.
  ui_->注释1编辑框->setTabChangesFocus(true);
  ui_->注释2编辑框->setTabChangesFocus(true);
}

void TagEditorWindow::joinHandlers() {
  // Every box of a group shares the change handler of its track box.
  const auto join = [this](QWidget* box, void (TagEditorWindow::*mark)()) {
    const auto handler = [this, box, mark] {
      paint(box);
      if (!filling_) (this->*mark)();
    };
    if (auto* e = qobject_cast<QLineEdit*>(box)) connect(e, &QLineEdit::textChanged, this, handler);
    if (auto* p = qobject_cast<QPlainTextEdit*>(box)) connect(p, &QPlainTextEdit::textChanged, this, handler);
  };
  for (QWidget* box : id3v1Boxes()) join(box, &TagEditorWindow::markId3v1Changed);
  for (QWidget* box : id3v2Boxes()) join(box, &TagEditorWindow::markId3v2Changed);

  // A selection counts only when it differs from the one last looked at.
  connect(ui_->流派1组合框, &QComboBox::activated, this, [this](int index) {
    int& last = state_.genreSelection[0];
    if (index == last) return;
    last = index;
    markId3v1Changed();
  });
  connect(ui_->流派2组合框, &QComboBox::activated, this, [this](int index) {
    int& last = state_.genreSelection[1];
    if (index == last) return;
    last = index;
    markId3v2Changed();
  });
  connect(ui_->流派2组合框, &QComboBox::editTextChanged, this, [this] {
    paint(ui_->流派2组合框->lineEdit());
    if (!filling_) markId3v2Changed();
  });

  // A tick box says whether that tag shall exist, so clicking it changes the version.
  connect(ui_->ID3v1选择框, &QCheckBox::clicked, this, [this] {
    setId3v1GroupState();
    markId3v1Changed();
  });
  connect(ui_->ID3v2选择框, &QCheckBox::clicked, this, [this] {
    setId3v2GroupState();
    markId3v2Changed();
  });
  connect(ui_->v2复制到v1按钮, &QPushButton::clicked, this, &TagEditorWindow::copyV2ToV1);
  connect(ui_->v1复制到v2按钮, &QPushButton::clicked, this, &TagEditorWindow::copyV1ToV2);
  connect(ui_->更新按钮, &QPushButton::clicked, this, &TagEditorWindow::updateTags);
  connect(ui_->关闭按钮, &QPushButton::clicked, this, &QDialog::reject);
}

void TagEditorWindow::fill(QWidget* box, const std::string& text, const std::string& keep,
                           const std::optional<std::string>& other) {
  if (auto* line = qobject_cast<QLineEdit*>(box)) {
    setProgramText(line, text::toQt(text));
    shown_[box] = {line->text(), keep};
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(box)) {
    setProgramText(plain, text::toQt(text));
    shown_[box] = {plain->toPlainText(), keep};
  }
  noteGuess(box, other);
}

void TagEditorWindow::noteGuess(QWidget* box, const std::optional<std::string>& other) {
  if (other) {
    others_[box] = text::toQt(*other);
    paint(box);
  } else if (others_.erase(box) != 0) {
    showGuess(box, false);
  }
}

void TagEditorWindow::paint(QWidget* box) {
  if (!others_.count(box)) return;  // never a guess: its look is its group's
  const bool genre = box == ui_->流派2组合框->lineEdit();
  showGuess(box, genre ? genre2AsRead() : showsAsRead(box));
}

void TagEditorWindow::showGuess(QWidget* box, bool guess) {
  const auto it = others_.find(box);
  box->setToolTip(guess && it != others_.end()
                      ? QStringLiteral("编码无法确定，也可能是：“") + it->second + QStringLiteral("”")
                      : QString());
  // A greyed group stays grey; the mark shows again when it is ticked. The
  // genre box's line has no look of its own and goes back to the combo's.
  if (guess && box->isEnabled()) {
    setBackground(box, shade(palette(), Shade::Guessed));
  } else if (box == ui_->流派2组合框->lineEdit()) {
    box->setPalette(QPalette());
  } else {
    setBackground(box, shade(palette(), box->isEnabled() ? Shade::Plain : Shade::Greyed));
  }
}

std::string TagEditorWindow::boxText(QWidget* box) const {
  const auto* line = qobject_cast<const QLineEdit*>(box);
  const QString now = line ? line->text() : qobject_cast<const QPlainTextEdit*>(box)->toPlainText();
  const auto it = shown_.find(box);
  if (it != shown_.end() && it->second.text == now) return it->second.keep;
  return text::fromQtOrEmpty(now);
}

void TagEditorWindow::fillShared(const std::array<QWidget*, 6>& boxes, const TagFields& f,
                                 const TagFields& keep, const OtherReadings* others) {
  // The fields both tags have, in the order of the boxes.
  constexpr Slot kSlots[] = {kTitle, kArtist, kAlbum, kYear, kTrack, kComment};
  for (std::size_t i = 0; i < boxes.size(); ++i)
    fill(boxes[i], f[kSlots[i]], keep[kSlots[i]], others ? (*others)[kSlots[i]] : std::nullopt);
}

void TagEditorWindow::showId3v1Fields(const TagFields& f, const TagFields* asStored,
                                      const OtherReadings* others) {
  const TagFields& keep = asStored ? *asStored : f;
  fillShared({ui_->歌曲名1编辑框, ui_->艺术家1编辑框, ui_->专辑1编辑框, ui_->年代1编辑框, ui_->音轨1编辑框,
              ui_->注释1编辑框},
             f, keep, others);
  const auto position = genrePosition(text::toNumber(f[kGenre]));
  ui_->流派1组合框->setCurrentIndex(position.value_or(-1));
  // A genre number past the list (255 for none, or 126..254) is kept as it was.
  shownGenre1_ = ShownGenre{ui_->流派1组合框->currentIndex(), {}, keep[kGenre]};
}

void TagEditorWindow::showId3v2Fields(const TagFields& f, const TagFields* asStored,
                                      const OtherReadings* others) {
  const TagFields& keep = asStored ? *asStored : f;
  const auto other = [others](int slot) { return others ? (*others)[slot] : std::nullopt; };
  fillShared({ui_->歌曲名2编辑框, ui_->艺术家2编辑框, ui_->专辑2编辑框, ui_->年代2编辑框, ui_->音轨2编辑框,
              ui_->注释2编辑框},
             f, keep, others);
  // A genre named like an item selects it; any other text stands as free text.
  QComboBox* genre = ui_->流派2组合框;
  const QString g = text::toQt(f[kGenre]);
  const int index = g.isEmpty() ? -1 : genre->findText(g);
  genre->setCurrentIndex(index);
  if (index < 0) genre->setEditText(g);
  shownGenre2_ = ShownGenre{genre->currentIndex(), genre->currentText(), keep[kGenre]};
  noteGuess(genre->lineEdit(), other(kGenre));
  fill(ui_->版权编辑框, f[kCopyright], keep[kCopyright], other(kCopyright));
  fill(ui_->作曲家编辑框, f[kComposer], keep[kComposer], other(kComposer));
  fill(ui_->原创者编辑框, f[kOriginalArtist], keep[kOriginalArtist], other(kOriginalArtist));
  fill(ui_->URL编辑框, f[kUrl], keep[kUrl], other(kUrl));
  fill(ui_->编码者编辑框, f[kEncodedBy], keep[kEncodedBy], other(kEncodedBy));
}

void TagEditorWindow::setId3v1GroupState() {
  const bool on = ui_->ID3v1选择框->isChecked();
  for (QWidget* box : id3v1Boxes()) {
    setBackground(box, shade(palette(), on ? Shade::Plain : Shade::Greyed));
    box->setEnabled(on);
    paint(box);
  }
  ui_->流派1组合框->setEnabled(on);
  ui_->v1复制到v2按钮->setEnabled(on);
  ui_->更新按钮->setEnabled(true);
}

void TagEditorWindow::setId3v2GroupState() {
  const bool on = ui_->ID3v2选择框->isChecked();
  for (QWidget* box : id3v2Boxes()) {
    setBackground(box, shade(palette(), on ? Shade::Plain : Shade::Greyed));
    box->setEnabled(on);
    paint(box);
  }
  ui_->流派2组合框->setEnabled(on);
  paint(ui_->流派2组合框->lineEdit());
  ui_->v2复制到v1按钮->setEnabled(on);
  ui_->更新按钮->setEnabled(true);
}

void TagEditorWindow::markId3v1Changed() {
  if (!ui_->更新按钮->isEnabled()) ui_->更新按钮->setEnabled(true);
  state_.tagModified[0] = true;
}

void TagEditorWindow::markId3v2Changed() {
  if (!ui_->更新按钮->isEnabled()) ui_->更新按钮->setEnabled(true);
  state_.tagModified[1] = true;
}

int TagEditorWindow::shownGenre2Index() const {
  const QComboBox* genre = ui_->流派2组合框;
  const QString shown = genre->currentText();
  const int index = genre->currentIndex();
  if (index >= 0 && genre->itemText(index) == shown) return index;
  return shown.isEmpty() ? -1 : genre->findText(shown);
}

void TagEditorWindow::copyV2ToV1() {
  ui_->ID3v1选择框->setChecked(true);
  setId3v1GroupState();
  setProgramText(ui_->音轨1编辑框, ui_->音轨2编辑框->text());
  setProgramText(ui_->歌曲名1编辑框, cutForId3v1(codePage(ui_->歌曲名2编辑框)));
  setProgramText(ui_->艺术家1编辑框, cutForId3v1(codePage(ui_->艺术家2编辑框)));
  setProgramText(ui_->专辑1编辑框, cutForId3v1(codePage(ui_->专辑2编辑框)));
  setProgramText(ui_->年代1编辑框, ui_->年代2编辑框->text());
  const int genre = shownGenre2Index();
  ui_->流派1组合框->setCurrentIndex(genre);
  state_.genreSelection[0] = genre;
  shownGenre1_.reset();  // the copied genre is the one to write
  setProgramText(ui_->注释1编辑框, cutForId3v1(codePage(ui_->注释2编辑框)));
  // Equal texts raise no change notification, yet the group was written.
  markId3v1Changed();
}

void TagEditorWindow::copyV1ToV2() {
  ui_->ID3v2选择框->setChecked(true);
  setId3v2GroupState();
  const std::pair<QLineEdit*, QLineEdit*> copies[] = {{ui_->音轨1编辑框, ui_->音轨2编辑框},
                                                      {ui_->歌曲名1编辑框, ui_->歌曲名2编辑框},
                                                      {ui_->艺术家1编辑框, ui_->艺术家2编辑框},
                                                      {ui_->专辑1编辑框, ui_->专辑2编辑框},
                                                      {ui_->年代1编辑框, ui_->年代2编辑框}};
  for (const auto& [from, to] : copies) setProgramText(to, from->text());
  const int genre = ui_->流派1组合框->currentIndex();
  QComboBox* genre2 = ui_->流派2组合框;
  genre2->setCurrentIndex(genre);
  if (genre < 0) genre2->setEditText({});
  state_.genreSelection[1] = genre;
  shownGenre2_.reset();
  paint(genre2->lineEdit());
  ui_->注释2编辑框->setPlainText(ui_->注释1编辑框->toPlainText());
  markId3v2Changed();
}

bool TagEditorWindow::showsAsRead(QWidget* box) const {
  const auto* line = qobject_cast<const QLineEdit*>(box);
  const QString now = line ? line->text() : qobject_cast<const QPlainTextEdit*>(box)->toPlainText();
  const auto it = shown_.find(box);
  return it != shown_.end() && it->second.text == now;
}

bool TagEditorWindow::genre2AsRead() const {
  const QComboBox* genre = ui_->流派2组合框;
  return shownGenre2_ && genre->currentIndex() == shownGenre2_->index &&
         genre->currentText() == shownGenre2_->text;
}

std::optional<std::array<std::string, 5>> TagEditorWindow::id3v1Texts() {
  const std::array<QWidget*, 5> boxes = {ui_->歌曲名1编辑框, ui_->艺术家1编辑框, ui_->专辑1编辑框,
                                         ui_->年代1编辑框, ui_->注释1编辑框};
  std::array<std::string, 5> out;
  std::string unheld;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    // A box left as read keeps the block's own bytes.
    if (showsAsRead(boxes[i])) {
      out[i] = boxText(boxes[i]);
      continue;
    }
    std::string missing;
    if (auto bytes = id3v1TextBytes(boxText(boxes[i]), &missing)) {
      out[i] = *std::move(bytes);
      continue;
    }
    for (std::size_t k = 0; k < missing.size(); k += 4) {
      const std::string_view c = std::string_view(missing).substr(k, 4);
      if (unheld.find(c) == std::string::npos) unheld += c;
    }
  }
  if (unheld.empty()) return out;
  dialogs_.message(this, platform::programTitle(),
                   QStringLiteral("ID3v1标签无法保存这些字符：") + text::toQt(unheld), Icon::Stop);
  return std::nullopt;
}

TagFields TagEditorWindow::id3v2Fields() const {
  Id3v2EditorTexts boxes;
  boxes.title = boxText(ui_->歌曲名2编辑框);
  boxes.artist = boxText(ui_->艺术家2编辑框);
  boxes.album = boxText(ui_->专辑2编辑框);
  boxes.track = boxText(ui_->音轨2编辑框);
  boxes.year = boxText(ui_->年代2编辑框);
  const QComboBox* genre = ui_->流派2组合框;
  const int index = shownGenre2Index();
  if (index >= 0) {
    boxes.genreValue = genreAtPosition(index).value_or(-1);
    boxes.genreText = text::fromQtOrEmpty(genre->itemText(index));
  }
  boxes.comment = boxText(ui_->注释2编辑框);
  boxes.composer = boxText(ui_->作曲家编辑框);
  boxes.originalArtist = boxText(ui_->原创者编辑框);
  boxes.copyright = boxText(ui_->版权编辑框);
  boxes.url = boxText(ui_->URL编辑框);
  boxes.encodedBy = boxText(ui_->编码者编辑框);
  TagFields fields = collectId3v2Fields(boxes);
  // A genre typed as free text is written as it stands rather than dropped;
  // one left as the file had it keeps the frame's own text ("(17)" stays).
  if (index < 0) fields[kGenre] = text::fromQtOrEmpty(genre->currentText());
  if (genre2AsRead()) fields[kGenre] = shownGenre2_->keep;
  return fields;
}

void TagEditorWindow::updateTags() {
  using Action = TagEdit::Action;
  TagEdit edit;
  if (state_.tagModified[0]) {
    if (!ui_->ID3v1选择框->isChecked()) {
      edit.v1 = Action::Remove;
    } else {
      // Texts the block cannot hold write neither tag: the user changes them first.
      const auto v1 = id3v1Texts();
      if (!v1) return;
      edit.v1 = Action::Write;
      edit.v1Texts = *v1;
      edit.v1Track = boxText(ui_->音轨1编辑框);
      const int index = ui_->流派1组合框->currentIndex();
      edit.v1Genre = genreAtPosition(index).value_or(kNoId3v1Genre);
      if (shownGenre1_ && index == shownGenre1_->index) edit.v1Genre = text::toNumber(shownGenre1_->keep);
    }
  }
  if (state_.tagModified[1]) {
    edit.v2 = ui_->ID3v2选择框->isChecked() ? Action::Write : Action::Remove;
    if (edit.v2 == Action::Write) edit.v2Fields = id3v2Fields();
  }
  const TagEditOutcome out = saveEditorTags(path_, edit, state_.stateDirectory);
  if (out.v1 && edit.v1 == Action::Write) {
    if (*out.v1)
      tell(dialogs_, this, "ID3v1标签更新成功！", Icon::None);
    else
      tellFailure(dialogs_, failureWords_, this, "ID3v1标签更新失败！", *out.v1);
  } else if (out.v1 && !*out.v1) {
    tellFailure(dialogs_, failureWords_, this, "删除ID3v1标签失败！", *out.v1);
  }
  if (out.v2 && edit.v2 == Action::Write) {
    if (*out.v2)
      tell(dialogs_, this, "ID3v2标签更新成功！", Icon::None);
    else
      tellFailure(dialogs_, failureWords_, this, "ID3v2标签更新失败！", *out.v2);
  } else if (out.v2 && !*out.v2) {
    tellFailure(dialogs_, failureWords_, this, "删除ID3v2标签失败！", *out.v2);
  }
}

}  // namespace qorin::tags
