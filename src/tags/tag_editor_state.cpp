#include "tags/tag_editor_state.h"

namespace qorin::tags {

TagEditorState& tagEditorState() {
  static TagEditorState state;
  return state;
}

}  // namespace qorin::tags
