#include "tags/gui/tag_editor_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/gui/dialogs.h"
#include "platform/open_file.h"
#include "tags/genre_positions.h"
#include "tags/genres.h"
#include "tags/gui/byte_limit.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "tags/tag_editor_state.h"
#include "text/gbtext.h"
#include "text/gui/qtext.h"
#include "ui_tag_editor_window.h"

namespace qorin {
namespace tags {

namespace {

using Icon = platform::Dialogs::Icon;

constexpr const char* kV1Boxes[] = {"音轨1编辑框", "歌曲名1编辑框", "艺术家1编辑框",
                                    "专辑1编辑框", "年代1编辑框",   "注释1编辑框"};
constexpr const char* kV2Boxes[] = {"音轨2编辑框",  "歌曲名2编辑框", "艺术家2编辑框", "专辑2编辑框",
                                    "年代2编辑框",  "注释2编辑框",   "版权编辑框",    "作曲家编辑框",
                                    "原创者编辑框", "URL编辑框",     "编码者编辑框"};

// The texts an ID3v1 block can hold, in code-page bytes.
struct Limit {
  const char* box;
  std::size_t bytes;
};
constexpr Limit kLimits[] = {{"音轨1编辑框", 2},  {"歌曲名1编辑框", 30}, {"艺术家1编辑框", 30},
                             {"专辑1编辑框", 30}, {"年代1编辑框", 4},    {"注释1编辑框", 30},
                             {"音轨2编辑框", 2}};

constexpr std::size_t kV1TextBytes = 30;
constexpr int kNoGenre = 255;  // the ID3v1 genre byte for "none"

const QColor kGrey(0xC0, 0xC0, 0xC0);
const QColor kWhite(0xFF, 0xFF, 0xFF);

QString textOf(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
  return {};
}

void setTextOf(QWidget* w, const QString& t) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(t);
  if (auto* p = qobject_cast<QPlainTextEdit*>(w)) p->setPlainText(t);
}

void setBackground(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Base, c);
  w->setPalette(p);
}

void tell(platform::Dialogs& dialogs, QWidget* owner, const char* text, Icon icon) {
  dialogs.message(owner, platform::programTitle(), QString::fromUtf8(text), icon);
}

}  // namespace

void prepareGenreTables() { fillGenrePositionTable(); }

void openTagEditor(QWidget* parent, const std::string& path, TagEditorState& state,
                   platform::Dialogs& dialogs) {
  state.currentMp3Path = path;
  TagEditorWindow window(state.currentMp3Path, state, dialogs, parent);
  if (window.openFailed()) return;
  window.exec();
}

TagEditorWindow::TagEditorWindow(const std::string& path, TagEditorState& state, platform::Dialogs& dialogs,
                                 QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TagEditorWindow>()),
      path_(path),
      state_(state),
      dialogs_(dialogs) {
  prepareGenreTables();
  ui_->setupUi(this);
  setFixedSize(size());
  setUpControls();
  control<QLineEdit>("MP3文件名编辑框")->setText(text::toQt(path_));
  joinHandlers();

  TagFields v1, v2;
  platform::OpenFile file;
  if (!file.open(path_, platform::OpenMode::Read)) {
    openFailed_ = true;
    dialogs_.message(parent, QStringLiteral("错误"),
                     QStringLiteral("打开文件：") + text::toQt(path_) + QStringLiteral("失败！"), Icon::Stop);
    return;
  }

  filling_ = true;
  auto* tick1 = control<QCheckBox>("ID3v1选择框");
  auto* tick2 = control<QCheckBox>("ID3v2选择框");
  if (readId3v1(file, v1)) {
    tick1->setChecked(true);
    showId3v1Fields(v1);
  } else {
    tick1->setChecked(false);
    setId3v1GroupState();
  }
  if (readId3v2(file, v2)) {
    tick2->setChecked(true);
    showId3v2Fields(v2);
  } else {
    tick2->setChecked(false);
    setId3v2GroupState();
  }
  file.close();

  state_.genreSelection[0] = control<QComboBox>("流派1组合框")->currentIndex();
  state.genreSelection[1] = control<QComboBox>("流派2组合框")->currentIndex();
  control<QPushButton>("更新按钮")->setEnabled(false);
  filling_ = false;
}

TagEditorWindow::~TagEditorWindow() = default;

void TagEditorWindow::setUpControls() {
  for (const char* name : {"流派1组合框", "流派2组合框"}) {
    auto* combo = control<QComboBox>(name);
    for (int pos = 0; pos < kGenreCount; ++pos) {
      const int number = genreAtPosition(pos).value_or(0);
      combo->addItem(text::toQt(genreNames[static_cast<std::size_t>(number)]), number);
    }
    combo->setCurrentIndex(-1);
  }
  for (const Limit& l : kLimits) {
    if (auto* e = control<QLineEdit>(l.box)) {
      e->setValidator(new ByteLimitValidator(l.bytes, e));
    } else if (auto* p = control<QPlainTextEdit>(l.box)) {
      limitBytes(p, l.bytes);
    }
  }
}

void TagEditorWindow::joinHandlers() {
  // Every box of a group shares the change handler of its track box.
  auto join = [this](const char* name, void (TagEditorWindow::*mark)()) {
    auto handler = [this, mark] {
      if (!filling_) (this->*mark)();
    };
    if (auto* e = control<QLineEdit>(name)) connect(e, &QLineEdit::textChanged, this, handler);
    if (auto* p = control<QPlainTextEdit>(name)) connect(p, &QPlainTextEdit::textChanged, this, handler);
  };
  for (const char* name : kV1Boxes) join(name, &TagEditorWindow::markId3v1Changed);
  for (const char* name : kV2Boxes) join(name, &TagEditorWindow::markId3v2Changed);

  // A selection counts only when it differs from the one last looked at.
  auto* genre1 = control<QComboBox>("流派1组合框");
  auto* genre2 = control<QComboBox>("流派2组合框");
  connect(genre1, &QComboBox::activated, this, [this](int index) {
    int& last = state_.genreSelection[0];
    if (index == last) return;
    last = index;
    markId3v1Changed();
  });
  connect(genre2, &QComboBox::activated, this, [this](int index) {
    int& last = state_.genreSelection[1];
    if (index == last) return;
    last = index;
    markId3v2Changed();
  });
  connect(genre2, &QComboBox::editTextChanged, this, [this] {
    if (!filling_) markId3v2Changed();
  });

  // A tick box says whether that tag shall exist, so clicking it changes the version.
  connect(control<QCheckBox>("ID3v1选择框"), &QCheckBox::clicked, this, [this] {
    setId3v1GroupState();
    markId3v1Changed();
  });
  connect(control<QCheckBox>("ID3v2选择框"), &QCheckBox::clicked, this, [this] {
    setId3v2GroupState();
    markId3v2Changed();
  });
  connect(control<QPushButton>("v2复制到v1按钮"), &QPushButton::clicked, this, &TagEditorWindow::copyV2ToV1);
  connect(control<QPushButton>("v1复制到v2按钮"), &QPushButton::clicked, this, &TagEditorWindow::copyV1ToV2);
  connect(control<QPushButton>("更新按钮"), &QPushButton::clicked, this, &TagEditorWindow::updateTags);
  connect(control<QPushButton>("关闭按钮"), &QPushButton::clicked, this, &QDialog::reject);
}

void TagEditorWindow::showId3v1Fields(const TagFields& f) {
  auto set = [this](const char* name, const std::string& t) {
    setTextOf(control<QWidget>(name), text::toQt(t));
  };
  set("歌曲名1编辑框", f[kTitle]);
  set("艺术家1编辑框", f[kArtist]);
  set("专辑1编辑框", f[kAlbum]);
  set("年代1编辑框", f[kYear]);
  set("音轨1编辑框", f[kTrack]);
  set("注释1编辑框", f[kComment]);
  const auto position = genrePosition(text::toNumber(f[kGenre]));
  control<QComboBox>("流派1组合框")->setCurrentIndex(position.value_or(-1));
}

void TagEditorWindow::showId3v2Fields(const TagFields& f) {
  auto set = [this](const char* name, const std::string& t) {
    setTextOf(control<QWidget>(name), text::toQt(t));
  };
  set("歌曲名2编辑框", f[kTitle]);
  set("艺术家2编辑框", f[kArtist]);
  set("专辑2编辑框", f[kAlbum]);
  set("年代2编辑框", f[kYear]);
  set("音轨2编辑框", f[kTrack]);
  set("注释2编辑框", f[kComment]);
  // A genre named like an item selects it; any other text stands as free text.
  auto* genre = control<QComboBox>("流派2组合框");
  const QString g = text::toQt(f[kGenre]);
  const int index = g.isEmpty() ? -1 : genre->findText(g);
  genre->setCurrentIndex(index);
  if (index < 0) genre->setEditText(g);
  set("版权编辑框", f[kCopyright]);
  set("作曲家编辑框", f[kComposer]);
  set("原创者编辑框", f[kOriginalArtist]);
  set("URL编辑框", f[kUrl]);
  set("编码者编辑框", f[kEncodedBy]);
}

void TagEditorWindow::setId3v1GroupState() {
  const bool on = control<QCheckBox>("ID3v1选择框")->isChecked();
  for (const char* name : kV1Boxes) {
    auto* box = control<QWidget>(name);
    setBackground(box, on ? kWhite : kGrey);
    box->setEnabled(on);
  }
  control<QComboBox>("流派1组合框")->setEnabled(on);
  control<QPushButton>("v1复制到v2按钮")->setEnabled(on);
  control<QPushButton>("更新按钮")->setEnabled(true);
}

void TagEditorWindow::setId3v2GroupState() {
  const bool on = control<QCheckBox>("ID3v2选择框")->isChecked();
  for (const char* name : kV2Boxes) {
    auto* box = control<QWidget>(name);
    setBackground(box, on ? kWhite : kGrey);
    box->setEnabled(on);
  }
  control<QComboBox>("流派2组合框")->setEnabled(on);
  control<QPushButton>("v2复制到v1按钮")->setEnabled(on);
  control<QPushButton>("更新按钮")->setEnabled(true);
}

void TagEditorWindow::markId3v1Changed() {
  auto* update = control<QPushButton>("更新按钮");
  if (!update->isEnabled()) update->setEnabled(true);
  state_.tagModified[0] = true;
}

void TagEditorWindow::markId3v2Changed() {
  auto* update = control<QPushButton>("更新按钮");
  if (!update->isEnabled()) update->setEnabled(true);
  state_.tagModified[1] = true;
}

int TagEditorWindow::shownGenre2Index() const {
  auto* genre = control<QComboBox>("流派2组合框");
  const QString shown = genre->currentText();
  const int index = genre->currentIndex();
  if (index >= 0 && genre->itemText(index) == shown) return index;
  return shown.isEmpty() ? -1 : genre->findText(shown);
}

std::string TagEditorWindow::boxText(const char* name) const {
  return text::fromQtOrEmpty(textOf(control<QWidget>(name)));
}

void TagEditorWindow::copyV2ToV1() {
  control<QCheckBox>("ID3v1选择框")->setChecked(true);
  setId3v1GroupState();
  auto cut = [this](const char* from) { return text::toQt(text::cutToBytes(boxText(from), kV1TextBytes)); };
  setTextOf(control<QWidget>("音轨1编辑框"), textOf(control<QWidget>("音轨2编辑框")));
  setTextOf(control<QWidget>("歌曲名1编辑框"), cut("歌曲名2编辑框"));
  setTextOf(control<QWidget>("艺术家1编辑框"), cut("艺术家2编辑框"));
  setTextOf(control<QWidget>("专辑1编辑框"), cut("专辑2编辑框"));
  setTextOf(control<QWidget>("年代1编辑框"), textOf(control<QWidget>("年代2编辑框")));
  const int genre = shownGenre2Index();
  control<QComboBox>("流派1组合框")->setCurrentIndex(genre);
  state_.genreSelection[0] = genre;
  setTextOf(control<QWidget>("注释1编辑框"), cut("注释2编辑框"));
  // Equal texts raise no change notification, yet the group was written.
  markId3v1Changed();
}

void TagEditorWindow::copyV1ToV2() {
  control<QCheckBox>("ID3v2选择框")->setChecked(true);
  setId3v2GroupState();
  for (const auto& [from, to] : {std::pair{"音轨1编辑框", "音轨2编辑框"},
                                 {"歌曲名1编辑框", "歌曲名2编辑框"},
                                 {"艺术家1编辑框", "艺术家2编辑框"},
                                 {"专辑1编辑框", "专辑2编辑框"},
                                 {"年代1编辑框", "年代2编辑框"}})
    setTextOf(control<QWidget>(to), textOf(control<QWidget>(from)));
  const int genre = control<QComboBox>("流派1组合框")->currentIndex();
  auto* genre2 = control<QComboBox>("流派2组合框");
  genre2->setCurrentIndex(genre);
  if (genre < 0) genre2->setEditText({});
  state_.genreSelection[1] = genre;
  setTextOf(control<QWidget>("注释2编辑框"), textOf(control<QWidget>("注释1编辑框")));
  markId3v2Changed();
}

void TagEditorWindow::updateTags() {
  const TagEditorState& state = state_;
  // A file that cannot be opened for writing fails every requested action and stays as it was.
  platform::OpenFile file;
  const bool writable = file.open(path_, platform::OpenMode::ReadWrite);

  if (state.tagModified[0]) {
    if (control<QCheckBox>("ID3v1选择框")->isChecked()) {
      const std::string track = boxText("音轨1编辑框");
      // The block's last comment bytes hold the track (ID3v1.1), so the comment
      // is cut at a character boundary before they are overwritten.
      const bool hasTrack = (static_cast<std::uint32_t>(text::toNumber(track)) & 0xFF) != 0;
      const std::string comment(text::cutToBytes(boxText("注释1编辑框"), hasTrack ? 28 : 29));
      const int index = control<QComboBox>("流派1组合框")->currentIndex();
      const int genre = genreAtPosition(index).value_or(kNoGenre);
      const bool ok =
          writable && writeId3v1(file, boxText("歌曲名1编辑框"), boxText("艺术家1编辑框"),
                                 boxText("专辑1编辑框"), boxText("年代1编辑框"), comment, track, genre);
      if (ok) {
        tell(dialogs_, this, "ID3v1标签更新成功！", Icon::None);
      } else {
        tell(dialogs_, this, "ID3v1标签更新失败！", Icon::Stop);
      }
    } else if (!writable || !deleteId3v1(file)) {
      tell(dialogs_, this, "删除ID3v1标签失败！", Icon::Stop);
    }
  }

  if (state.tagModified[1]) {
    if (control<QCheckBox>("ID3v2选择框")->isChecked()) {
      Id3v2EditorTexts boxes;
      boxes.title = boxText("歌曲名2编辑框");
      boxes.artist = boxText("艺术家2编辑框");
      boxes.album = boxText("专辑2编辑框");
      boxes.track = boxText("音轨2编辑框");
      boxes.year = boxText("年代2编辑框");
      auto* genre = control<QComboBox>("流派2组合框");
      const int index = shownGenre2Index();
      if (index >= 0) {
        boxes.genreValue = genreAtPosition(index).value_or(-1);
        boxes.genreText = text::fromQtOrEmpty(genre->itemText(index));
      }
      boxes.comment = boxText("注释2编辑框");
      boxes.composer = boxText("作曲家编辑框");
      boxes.originalArtist = boxText("原创者编辑框");
      boxes.copyright = boxText("版权编辑框");
      boxes.url = boxText("URL编辑框");
      boxes.encodedBy = boxText("编码者编辑框");
      TagFields fields = collectId3v2Fields(boxes);
      // A genre typed as free text is written as it stands rather than dropped.
      if (index < 0) fields[kGenre] = text::fromQtOrEmpty(genre->currentText());
      if (writable && writeId3v2(file, fields)) {
        tell(dialogs_, this, "ID3v2标签更新成功！", Icon::None);
      } else {
        tell(dialogs_, this, "ID3v2标签更新失败！", Icon::Stop);
      }
    } else if (!writable || !deleteId3v2(file)) {
      tell(dialogs_, this, "删除ID3v2标签失败！", Icon::Stop);
    }
  }
  file.close();
}

}  // namespace tags
}  // namespace qorin
