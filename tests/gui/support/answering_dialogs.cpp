// SPDX-License-Identifier: GPL-3.0-or-later
#include "answering_dialogs.h"

#include <QDir>
#include <QFile>

#include "app/main_window.h"
#include "platform/fs.h"
#include "rules/gui/case_tab.h"
#include "rules/gui/general_tab.h"
#include "rules/gui/insert_tab.h"
#include "rules/gui/mp3_tab.h"
#include "rules/gui/replace_tab.h"

namespace qorin::testing {

AnsweringDialogs::AnsweringDialogs() = default;
AnsweringDialogs::~AnsweringDialogs() = default;

QStringList AnsweringDialogs::openFiles(QWidget*, const QString& title, const QString& filter,
                                        const QString& initialDir) {
  ++fileDialogs;
  lastFileTitle = title;
  lastFileFilter = filter;
  lastFileDir = initialDir;
  if (files.empty()) return {};
  QStringList r = files.front();
  files.pop_front();
  return r;
}

QString AnsweringDialogs::chooseFolder(QWidget*, const QString& title) {
  lastFolderTitle = title;
  if (folders.empty()) return {};
  QString r = folders.front();
  folders.pop_front();
  return r;
}

void AnsweringDialogs::message(QWidget*, const QString& title, const QString& text, Icon icon) {
  messages.append({title, text, icon, false});
}

bool AnsweringDialogs::waitUntil(QWidget*, const QString& title, const QString& text,
                                 const std::function<bool()>& ready) {
  messages.append({title, text, Icon::None, false});
  while (!waits.empty()) {
    const std::function<bool()> next = std::move(waits.front());
    waits.pop_front();
    if (!next()) return false;
    if (ready()) return true;
  }
  return false;
}

bool AnsweringDialogs::askYesNo(QWidget*, const QString& title, const QString& text, Icon icon) {
  messages.append({title, text, icon, true});
  if (answers.empty()) return false;
  const bool r = answers.front();
  answers.pop_front();
  return r;
}

std::optional<QFont> AnsweringDialogs::chooseFont(QWidget*, const QFont&) {
  if (fonts.empty()) return std::nullopt;
  auto r = fonts.front();
  fonts.pop_front();
  return r;
}

std::optional<QColor> AnsweringDialogs::chooseColour(QWidget*, const QColor&) {
  if (colours.empty()) return std::nullopt;
  auto r = colours.front();
  colours.pop_front();
  return r;
}

std::optional<QString> AnsweringDialogs::askText(QWidget*, const QString&, const QString&, const QString&) {
  if (texts.empty()) return std::nullopt;
  const QString r = texts.front();
  texts.pop_front();
  if (r.isNull()) return std::nullopt;
  return r;
}

std::optional<int> AnsweringDialogs::chooseItem(QWidget*, const QString&, const QString&,
                                                const QStringList& offered) {
  lastItems = offered;
  if (items.empty()) return std::nullopt;
  auto r = items.front();
  items.pop_front();
  return r;
}

ProgramDirectory::ProgramDirectory() = default;
ProgramDirectory::~ProgramDirectory() = default;

session::Places ProgramDirectory::places() const { return session::Places::in(dir_.path().toStdString()); }

QStringList makeFiles(const QString& dir, const QStringList& names, const QByteArray& content) {
  QStringList out;
  QDir().mkpath(dir);
  for (const QString& n : names) {
    QFile f(QDir(dir).filePath(n));
    f.open(QIODevice::WriteOnly);
    f.write(content);
    out << f.fileName();
  }
  return out;
}

Ui::GeneralPage* generalPage(app::MainWindow& w) {
  return static_cast<rules::GeneralTab*>(w.ruleTab(rules::kGeneralTab))->ui();
}
Ui::ReplacePage* replacePage(app::MainWindow& w) {
  return static_cast<rules::ReplaceTab*>(w.ruleTab(rules::kReplaceTab))->ui();
}
Ui::InsertPage* insertPage(app::MainWindow& w) {
  return static_cast<rules::InsertTab*>(w.ruleTab(rules::kInsertTab))->ui();
}
Ui::CasePage* casePage(app::MainWindow& w) {
  return static_cast<rules::CaseTab*>(w.ruleTab(rules::kCaseTab))->ui();
}
Ui::Mp3Page* mp3Page(app::MainWindow& w) {
  return static_cast<rules::Mp3Tab*>(w.ruleTab(rules::kMp3Tab))->ui();
}

}  // namespace qorin::testing
