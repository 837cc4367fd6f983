// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_report.h"

#include <clocale>
#include <cstring>

#include "rename/plan.h"
#include "rename/rename_pass.h"
#include "session/messages.h"
#include "text/gbtext.h"

#ifndef _WIN32
#include <langinfo.h>
#endif

namespace qorin::cli {

using filelist::Status;
using rename::why::Stopped;
using rename::why::Unchanged;
using State = RowOut::State;
using text::gb;

LocaleText::LocaleText() {
#ifndef _WIN32
  std::setlocale(LC_CTYPE, "");
  const char* set = nl_langinfo(CODESET);
  codePage_ = set && (std::strcmp(set, "GB18030") == 0 || std::strcmp(set, "GBK") == 0 ||
                      std::strcmp(set, "GB2312") == 0);
#endif
}

std::optional<std::string> LocaleText::toText(std::string_view local) const {
  if (codePage_) return std::string(local);
  return text::utf8ToGb(local);
}

std::string LocaleText::toLocal(std::string_view t) const {
  if (codePage_) return std::string(t);
  if (auto u = text::gbToUtf8(t)) return *u;
  return std::string(t);
}

void LocaleText::appendLocal(std::string& out, std::string_view t) const {
  if (codePage_ || text::isAscii(t)) {
    out += t;
  } else if (auto u = text::gbToUtf8(t)) {
    out += *u;
  } else {
    out += t;
  }
}

std::vector<RowOut> planRows(const filelist::FileList& list) {
  std::vector<RowOut> rows;
  rows.reserve(static_cast<std::size_t>(list.fileCount()));
  for (int r = 0; r < list.fileCount(); ++r) {
    const filelist::FileEntry e = list[r];
    RowOut o{e.dir, std::string(e.oldName), std::string(e.newName)};
    o.reason = e.mark;
    o.detail = e.markDetail;
    if (e.proposalProblem.note()) o.note = e.proposalProblem;
    o.state = e.mark.none() ? State::Rename : e.mark == Unchanged ? State::Unchanged : State::WillFail;
    rows.push_back(std::move(o));
  }
  return rows;
}

PlanNames planNames(const filelist::FileList& list) {
  PlanNames out;
  const auto n = static_cast<std::size_t>(list.fileCount());
  std::uint64_t bytes = 0;
  for (std::size_t r = 0; r < n; ++r) bytes += list[static_cast<int>(r)].oldName.size();
  if (bytes > UINT32_MAX) return out;  // rows not told apart: shown as untouched
  out.bytes.reserve(static_cast<std::size_t>(bytes));
  out.ends.reserve(n);
  out.unchanged.reserve(n);
  for (std::size_t r = 0; r < n; ++r) {
    const filelist::FileEntry e = list[static_cast<int>(r)];
    out.bytes += e.oldName;
    out.ends.push_back(static_cast<std::uint32_t>(out.bytes.size()));
    out.unchanged.push_back(e.mark == Unchanged);
  }
  return out;
}

std::vector<RowOut> outcomeRows(const filelist::FileList& list, const PlanNames& before) {
  std::vector<RowOut> rows;
  rows.reserve(static_cast<std::size_t>(list.fileCount()));
  for (int r = 0; r < list.fileCount(); ++r) {
    const filelist::FileEntry e = list[r];
    const auto b = static_cast<std::size_t>(r);
    const bool planned = b < before.size();
    RowOut o{e.dir, std::string(planned ? before.name(b) : e.oldName), {}};
    const State was = !planned ? State::Untouched : before.unchanged[b] ? State::Unchanged : State::Rename;
    o.newName = e.oldName;
    o.reason = e.statusReason;
    o.detail = e.statusDetail;
    // The pass's proposals are still the rows': their notes say how the names were made.
    if (planned && e.proposalProblem.note()) o.note = e.proposalProblem;
    if (was == State::Unchanged && e.statusCode == Status::Renamed) {
      o.state = State::Unchanged;  // the pass counts it done; nothing was renamed
      rows.push_back(std::move(o));
      continue;
    }
    switch (e.statusCode) {
      case Status::Renamed:
        o.state = State::Renamed;
        break;
      case Status::RenameFailed:
        o.state = e.statusReason == Stopped ? State::Stopped : State::Failed;
        o.newName = e.newName;  // the proposal that failed
        break;
      case Status::Unchanged:
        o.state = State::Unchanged;
        break;
      case Status::Undone:
        o.state = State::Undone;
        break;
      case Status::UndoFailed:
        o.state = State::UndoFailed;
        break;
      default:
        o.state = was == State::Unchanged ? State::Unchanged : State::Untouched;
        break;
    }
    rows.push_back(std::move(o));
  }
  return rows;
}

std::vector<RowOut> undoRows(const rename::RecordOutcome& outcome) {
  std::vector<RowOut> rows;
  rows.reserve(outcome.files.size());
  for (const rename::FileOutcome& f : outcome.files) {
    if (f.reason == Stopped) continue;  // not reached: nothing happened to it
    RowOut o;
    if (f.folder < outcome.folders.size()) o.folder = outcome.folders[f.folder].dir;
    o.oldName = outcome.after(f);
    o.newName = outcome.before(f);
    o.state = f.ok ? State::Undone : State::UndoFailed;
    o.reason = f.reason;
    o.detail = f.detail;
    rows.push_back(std::move(o));
  }
  return rows;
}

bool anyFailed(const std::vector<RowOut>& rows) {
  for (const RowOut& r : rows)
    if (r.state == State::WillFail || r.state == State::Failed || r.state == State::UndoFailed ||
        r.state == State::Stopped)
      return true;
  return false;
}

namespace {

const char* stateKey(State s) {
  switch (s) {
    case State::Rename:
      return "rename";
    case State::Unchanged:
      return "unchanged";
    case State::WillFail:
      return "conflict";
    case State::Renamed:
      return "renamed";
    case State::Failed:
      return "failed";
    case State::Stopped:
      return "stopped";
    case State::Undone:
      return "undone";
    case State::UndoFailed:
      return "undo-failed";
    case State::Untouched:
      break;
  }
  return "untouched";
}

bool hasReason(const RowOut& r) { return r.reason.failed(); }

// A folder as a canonical path names it: without its last separator ("/" stays).
std::string_view canonicalFolder(std::string_view dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.remove_suffix(1);
  return dir;
}

// The terminal's colours (SGR): green for what is or will be done, red for
// what fails, dim for what stays.
constexpr const char* kGreen = "\x1b[32m";
constexpr const char* kRed = "\x1b[31m";
constexpr const char* kDim = "\x1b[2m";
constexpr const char* kPlain = "\x1b[0m";

const char* colourOf(State s) {
  switch (s) {
    case State::Rename:
    case State::Renamed:
    case State::Undone:
      return kGreen;
    case State::WillFail:
    case State::Failed:
    case State::UndoFailed:
    case State::Stopped:
      return kRed;
    case State::Unchanged:
    case State::Untouched:
      break;
  }
  return kDim;
}

void jsonString(std::string& out, std::string_view s) {
  out += '"';
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace

std::string escapedName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  // Bytes below 0x20 and 0x7F are whole characters in the code page: no
  // double-byte character has one as its second byte.
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20 || u == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out;
}

void printRows(std::FILE* out, const std::vector<RowOut>& rows, const LocaleText& locale, bool colour) {
  // The fixed words in the locale's encoding once, not for each of 100,000
  // rows; names are converted only where they are not ASCII.
  const std::string arrow = locale.toLocal(gb(" → ")), open = locale.toLocal(gb("（")),
                    close = locale.toLocal(gb("）")), unchanged = locale.toLocal(gb("（不变）"));
  const std::string back = locale.toLocal(gb(" ← "));
  const std::string renamed = open + locale.toLocal(session::statusText(Status::Renamed)) + close;
  const std::string undone = open + locale.toLocal(session::statusText(Status::Undone)) + close;
  const std::string undoFailed = open + locale.toLocal(session::statusText(Status::UndoFailed));
  bool first = true;
  std::string_view folder;
  std::string line;
  const auto name = [&](std::string_view n) { locale.appendLocal(line, escapedName(n)); };
  for (const RowOut& r : rows) {
    line.clear();
    if (first || folder != r.folder) {
      first = false;
      folder = r.folder;
      name(canonicalFolder(r.folder));
      line += '\n';
    }
    line += "  ";
    if (colour) line += colourOf(r.state);
    name(r.oldName);
    if (r.state == State::Undone) {
      line += back;
      name(r.newName);
    } else if (r.state != State::Unchanged && r.state != State::Untouched && r.state != State::UndoFailed) {
      line += arrow;
      name(r.newName);
    }
    if (r.state == State::Unchanged) line += unchanged;
    if (r.state == State::Renamed) line += renamed;
    if (r.state == State::Undone) line += undone;
    if (r.state == State::UndoFailed) line += undoFailed + (hasReason(r) ? locale.toLocal(gb("：")) : close);
    if (hasReason(r)) {
      if (r.state != State::UndoFailed) line += open;
      locale.appendLocal(line, session::reasonText(r.reason, r.detail));
      line += close;
    }
    if (!r.note.none()) {
      line += open;
      locale.appendLocal(line, session::reasonText(r.note, 0));
      line += close;
    }
    if (colour) line += kPlain;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out);
  }
}

void printJson(std::FILE* out, const std::vector<RowOut>& rows, const LocaleText& locale) {
  std::string t = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const RowOut& r = rows[i];
    t += i ? ",\n {" : "\n {";
    t += "\"folder\": ";
    jsonString(t, locale.toLocal(canonicalFolder(r.folder)));
    t += ", \"old\": ";
    jsonString(t, locale.toLocal(r.oldName));
    t += ", \"new\": ";
    jsonString(t, locale.toLocal(r.newName));
    t += ", \"status\": \"";
    t += stateKey(r.state);
    t += "\", \"reason\": ";
    if (hasReason(r)) {
      jsonString(t, locale.toLocal(session::reasonText(r.reason, r.detail)));
    } else {
      t += "null";
    }
    t += ", \"note\": ";
    if (!r.note.none()) {
      jsonString(t, locale.toLocal(session::reasonText(r.note, 0)));
    } else {
      t += "null";
    }
    t += '}';
  }
  t += rows.empty() ? "]\n" : "\n]\n";
  std::fputs(t.c_str(), out);
}

std::string planSummary(const std::vector<RowOut>& rows) {
  int rename = 0, unchanged = 0, fail = 0;
  for (const RowOut& r : rows) {
    rename += r.state == State::Rename;
    unchanged += r.state == State::Unchanged;
    fail += r.state == State::WillFail;
  }
  return gb("共 ") + std::to_string(rows.size()) + gb(" 个文件：") + std::to_string(rename) +
         gb(" 个将更名，") + std::to_string(fail) + gb(" 个不能更名，") + std::to_string(unchanged) +
         gb(" 个不变。未改动任何文件；加 -x 执行。");
}

}  // namespace qorin::cli
