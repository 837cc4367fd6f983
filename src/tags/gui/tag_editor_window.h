// SPDX-License-Identifier: GPL-3.0-or-later
// The window that shows, edits, copies and writes back the ID3v1 and ID3v2
// tags of one MP3 file.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tags/tag_fields.h"
#include "tags/write_result.h"

namespace Ui {
class TagEditorWindow;
}

namespace qorin::platform {
class Dialogs;
}

namespace qorin::tags {

struct TagEditorState;

// Why a write failed, in the words of whoever opens the editor.
using FailureWords = std::string (*)(WriteFailure);

// Opens the tag editor modally for `path` (code page) after recording it in
// state.currentMp3Path. When the file cannot be opened the error is shown and
// no window waits for an answer.
void openTagEditor(QWidget* parent, const std::string& path, TagEditorState& state,
                   platform::Dialogs& dialogs, FailureWords failureWords);

class TagEditorWindow : public QDialog {
  Q_OBJECT

 public:
  // Reads both tags of `path` (code page) into the groups. When the file
  // cannot be opened the error has been shown and openFailed() is true: the
  // window is then not to be shown. `state` and `dialogs` outlive the window.
  TagEditorWindow(const std::string& path, TagEditorState& state, platform::Dialogs& dialogs,
                  FailureWords failureWords, QWidget* parent = nullptr);
  ~TagEditorWindow() override;

  bool openFailed() const { return openFailed_; }
  Ui::TagEditorWindow* ui() const { return ui_.get(); }

  // Fill the groups. `asStored` holds what the update writes for a box the
  // user leaves as it was shown (for ID3v1 the stored bytes, for ID3v2 the
  // genre before "(17)" became "Rock"); without it, the shown texts. A box
  // whose slot has an entry in `others` is marked as a guess while it shows
  // what was read.
  void showId3v1Fields(const TagFields& fields, const TagFields* asStored = nullptr,
                       const OtherReadings* others = nullptr);
  void showId3v2Fields(const TagFields& fields, const TagFields* asStored = nullptr,
                       const OtherReadings* others = nullptr);
  void setId3v1GroupState();
  void setId3v2GroupState();
  void markId3v1Changed();
  void markId3v2Changed();

  // Button handlers.
  void copyV2ToV1();
  void copyV1ToV2();
  void updateTags();

 private:
  void setUpControls();
  void joinHandlers();
  // The boxes each group's tick box greys, in the group's order.
  std::array<QWidget*, 6> id3v1Boxes() const;
  std::array<QWidget*, 11> id3v2Boxes() const;
  // The item of 流派2组合框 whose text the box shows, or -1 for free text.
  int shownGenre2Index() const;
  // Boxes filled from the file: what they showed, and the text to write while
  // they still show it, so that a field the user did not touch keeps its text.
  struct Shown {
    QString text;
    std::string keep;
  };
  void fill(QWidget* box, const std::string& text, const std::string& keep,
            const std::optional<std::string>& other = std::nullopt);
  // Title, artist, album, year, track and comment boxes of one group.
  void fillShared(const std::array<QWidget*, 6>& boxes, const TagFields& f, const TagFields& keep,
                  const OtherReadings* others);
  std::string boxText(QWidget* box) const;
  // True while the box shows what was read into it.
  bool showsAsRead(QWidget* box) const;
  bool genre2AsRead() const;
  // A box shows a guess while it shows the text read with an uncertain
  // encoding: its tooltip names the other reading and its background is pale.
  void noteGuess(QWidget* box, const std::optional<std::string>& other);
  void paint(QWidget* box);
  void showGuess(QWidget* box, bool guess);
  std::map<const QWidget*, QString> others_;
  // The ID3v1 texts to write (title, artist, album, year, comment) as the
  // block stores them; nothing, after naming them, when some characters
  // cannot be held.
  std::optional<std::array<std::string, 5>> id3v1Texts();
  TagFields id3v2Fields() const;
  std::map<const QWidget*, Shown> shown_;
  struct ShownGenre {
    int index = -1;
    QString text;
    std::string keep;
  };
  std::optional<ShownGenre> shownGenre1_, shownGenre2_;

  std::unique_ptr<Ui::TagEditorWindow> ui_;
  std::string path_;
  TagEditorState& state_;
  platform::Dialogs& dialogs_;
  FailureWords failureWords_;
  bool openFailed_ = false;
  // While the opening fills the boxes their changes are not the user's.
  bool filling_ = false;
};

}  // namespace qorin::tags
