// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/record_tracks.h"

#include <algorithm>

namespace qorin::rename::detail {

namespace {

// The tracks of each folder, in order: tracks[start[f] .. start[f + 1]).
struct FolderTracks {
  std::vector<std::uint32_t> start, tracks;
};

FolderTracks tracksByFolder(const Loaded& l) {
  FolderTracks out;
  out.start.assign(l.record.folders.size() + 1, 0);
  for (const Track& t : l.tracks) ++out.start[l.folderOf(t) + 1];
  for (std::size_t f = 1; f < out.start.size(); ++f) out.start[f] += out.start[f - 1];
  out.tracks.resize(l.tracks.size());
  std::vector<std::uint32_t> fill(out.start.begin(), out.start.end() - 1);
  for (std::size_t i = 0; i < l.tracks.size(); ++i)
    out.tracks[fill[l.folderOf(l.tracks[i])]++] = static_cast<std::uint32_t>(i);
  return out;
}

// Where the file of track `i` is in `folder`, found by its identity among
// the names the record gave it, the expected one first, then the others
// once each in the order the record gave them.
NameId findTrack(const platform::Folder& folder, const Loaded& l, std::size_t i) {
  const Track& t = l.tracks[i];
  const platform::FileIdentity id = l.idOf(t);
  const auto at = [&](std::string_view name) {
    const auto found = folder.identityOf(name);
    return found && sameFile(*found, id);
  };
  const std::string_view expected = l.name(t.expected);
  if (at(expected)) return t.expected;
  const std::uint32_t* steps = l.stepsOf.data() + l.stepStart[i];
  const std::size_t names = 2 * (l.stepStart[i + 1] - l.stepStart[i]);
  const auto nameAt = [&](std::size_t n) { return n % 2 ? toName(steps[n / 2]) : fromName(steps[n / 2]); };
  for (std::size_t n = 0; n < names; ++n) {
    const std::string_view name = l.name(nameAt(n));
    if (name == expected) continue;
    bool earlier = false;
    for (std::size_t m = 0; m < n && !earlier; ++m) earlier = l.name(nameAt(m)) == name;
    if (!earlier && at(name)) return nameAt(n);
  }
  return kNoName;
}

}  // namespace

NameId Loaded::keep(std::string_view name) {
  names->elsewhere.emplace_back(name);
  return kElsewhere | static_cast<NameId>(names->elsewhere.size() - 1);
}

Loaded load(std::string_view path) {
  Loaded l;
  l.read = readJournal(path, l.record);
  if (l.read != JournalRead::Ok) return l;
  l.names = std::make_shared<RecordNames>();
  l.names->text = l.record.text;
  // Each file's steps, by a counting sort of the places on the file's index.
  const std::vector<JournalText::Step>& steps = l.record.text->steps;
  const std::size_t files = l.record.files;
  l.stepStart.assign(files + 1, 0);
  for (const JournalText::Step& s : steps) ++l.stepStart[s.fileIndex];
  for (std::size_t i = 1; i < files; ++i) l.stepStart[i] += l.stepStart[i - 1];
  l.stepStart[files] = static_cast<std::uint32_t>(steps.size());
  l.stepsOf.resize(steps.size());
  for (std::size_t place = steps.size(); place-- > 0;)
    l.stepsOf[--l.stepStart[steps[place].fileIndex]] = static_cast<std::uint32_t>(place);
  l.tracks.resize(files);
  for (std::size_t i = 0; i < files; ++i) l.tracks[i].first = l.stepsOf[l.stepStart[i]];
  l.folders.reserve(l.record.folders.size());
  for (const JournalFolder& f : l.record.folders) {
    RunFolder rf;
    rf.dir = f.dir;
    rf.identity = {f.device, f.inode, 0, 0};
    rf.byPathOnly = f.inode == 0;
    l.folders.push_back(std::move(rf));
  }
  replay(l);
  return l;
}

void replay(Loaded& l) {
  for (Track& t : l.tracks) t.expected = l.original(t);
  const std::vector<JournalText::Step>& steps = l.record.text->steps;
  for (const JournalPhase& p : l.record.phases)
    for (std::size_t k = 0; k < p.steps.size(); ++k)
      if (p.states[k] == StepState::Done) {
        const std::size_t place = p.steps.place(k);
        Track& t = l.tracks[steps[place].fileIndex];
        t.expected = toName(place);
        t.moved = true;
      }
}

// A step whose completion or failure is recorded was settled by the run
// itself, which takes back what a failed rename left; only a cycle's step
// taken back may be done and still under way.
void clearHalfRenames(const Loaded& l) {
  if (l.record.phases.empty() || l.record.intents.empty()) return;
  const JournalPhase& phase = l.record.phases.back();
  const JournalText& text = *l.record.text;
  platform::Folder folder;
  std::uint32_t openIndex = UINT32_MAX;
  for (const JournalIntent& in : l.record.intents) {
    const StepState state = phase.states[in.step];
    if (state == StepState::Failed || (state == StepState::Done && !in.back)) continue;
    if (in.claimed && in.inode == 0) continue;  // nothing was made
    const std::size_t place = phase.steps.place(in.step);
    const JournalText::Step& s = text.steps[place];
    if (const std::uint32_t f = text.folderOf(s); f != openIndex) {
      openIndex = f;
      folder = l.folders[f].openAsAdded();
    }
    if (!folder.isOpen()) continue;
    const platform::FileIdentity id{text.devices[openIndex], s.inode, s.size, s.birth};
    const auto holdsFile = [&](std::string_view name) {
      const auto found = folder.identityOf(name);
      return found && sameFile(*found, id);
    };
    const std::string_view made = in.back ? text.from(place) : text.to(place);
    const std::string_view other = in.back ? text.to(place) : text.from(place);
    if (in.link) {
      if (holdsFile(made) && holdsFile(other)) folder.removeSecondName(made, id);
      continue;
    }
    // The rename was made: that is the file itself. A placeholder whose
    // inode never reached the record goes only while the file it was made
    // for is still under its other name.
    if (holdsFile(made) || (!in.claimed && !holdsFile(other))) continue;
    folder.removePlaceholder(made, in.inode);
  }
}

void locate(Loaded& l) {
  const FolderTracks byFolder = tracksByFolder(l);
  for (std::size_t f = 0; f + 1 < byFolder.start.size(); ++f) {
    const std::uint32_t b = byFolder.start[f], e = byFolder.start[f + 1];
    if (b == e) continue;
    const platform::Folder folder = l.folders[f].openAsAdded();
    const Verdict gone = folder.isOpen() ? Verdict{why::SourceMissing, 0} : folderVerdict(folder);
    for (std::uint32_t j = b; j < e; ++j) {
      const std::uint32_t i = byFolder.tracks[j];
      Track& t = l.tracks[i];
      t.location = kNoName;
      t.lost = gone;
      if (!folder.isOpen()) continue;
      t.location = findTrack(folder, l, i);
      if (t.location == kNoName && folder.identityOf(l.name(t.expected))) t.lost = {why::FileChanged, 0};
    }
  }
  l.located = true;
}

std::size_t pendingOf(const Loaded& l) {
  std::size_t n = 0;
  for (const Track& t : l.tracks) {
    const NameId original = l.original(t);
    if (!t.moved && l.same(t.expected, original)) continue;
    // A file not found counts by where the record puts it: its folder may
    // only be away for now (moved, or on a card taken out).
    n += !l.same(l.now(t), original);
  }
  return n;
}

void fillFromRecord(const RecordRows& rows, std::uint32_t row, StepRef& s) {
  const Loaded& l = rows.loaded();
  const Track& t = l.tracks[rows.track(row)];
  const JournalText::Step& first = l.firstStep(t);
  s.file = l.record.text->files[first.fileIndex].number;
  s.folder = l.folderOf(t);
  s.id = l.idOf(t);
}

}  // namespace qorin::rename::detail
