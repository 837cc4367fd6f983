// SPDX-License-Identifier: GPL-3.0-or-later
// Window-test support: a dialogs double that answers from queues and records
// every message, and a program directory of its own per test.
#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <optional>

#include "platform/gui/dialogs.h"
#include "session/places.h"
#include "ui_case_page.h"
#include "ui_general_page.h"
#include "ui_insert_page.h"
#include "ui_mp3_page.h"
#include "ui_replace_page.h"

namespace qorin::app {
class MainWindow;
}

namespace qorin::testing {

class AnsweringDialogs : public platform::Dialogs {
 public:
  struct Message {
    QString title;
    QString text;
    Icon icon;
    bool question;
  };

  AnsweringDialogs();
  ~AnsweringDialogs() override;

  std::deque<QStringList> files;  // answers to openFiles
  std::deque<QString> folders;    // answers to chooseFolder
  std::deque<bool> answers;       // answers to askYesNo (No when empty)
  std::deque<std::optional<QFont>> fonts;
  std::deque<std::optional<QColor>> colours;
  std::deque<QString> texts;             // answers to askText (a null text, or none left: cancel)
  std::deque<std::optional<int>> items;  // answers to chooseItem (cancel when empty)
  QStringList lastItems;                 // what chooseItem offered last
  // Called before each try of waitUntil: false cancels (as does none left).
  std::deque<std::function<bool()>> waits;

  QList<Message> messages;  // every message and question, in order
  QString lastFileTitle, lastFileFilter, lastFileDir, lastFolderTitle;
  int fileDialogs = 0;

  QStringList openFiles(QWidget*, const QString& title, const QString& filter,
                        const QString& initialDir) override;
  QString chooseFolder(QWidget*, const QString& title) override;
  void message(QWidget*, const QString& title, const QString& text, Icon icon) override;
  bool askYesNo(QWidget*, const QString& title, const QString& text, Icon icon) override;
  std::optional<QFont> chooseFont(QWidget*, const QFont& initial) override;
  std::optional<QColor> chooseColour(QWidget*, const QColor& initial) override;
  std::optional<QString> askText(QWidget*, const QString& title, const QString& label,
                                 const QString& initial) override;
  std::optional<int> chooseItem(QWidget*, const QString& title, const QString& label,
                                const QStringList& items) override;
  bool waitUntil(QWidget*, const QString& title, const QString& text,
                 const std::function<bool()>& ready) override;
};

// A fresh temporary folder for the program's files (config.ini, dir.txt, the
// journal), handed to the window as its places.
class ProgramDirectory {
 public:
  ProgramDirectory();
  ~ProgramDirectory();
  QString path() const { return dir_.path(); }
  session::Places places() const;
  QString file(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
};

// Creates empty files (or with content) in a directory; returns their paths.
QStringList makeFiles(const QString& dir, const QStringList& names, const QByteArray& content = {});

// The typed forms of the main window's rule pages.
Ui::GeneralPage* generalPage(app::MainWindow& w);
Ui::ReplacePage* replacePage(app::MainWindow& w);
Ui::InsertPage* insertPage(app::MainWindow& w);
Ui::CasePage* casePage(app::MainWindow& w);
Ui::Mp3Page* mp3Page(app::MainWindow& w);

// A control by its design name, for tables that check names.
template <class T>
T* control(const QObject& window, const char* name) {
  return window.findChild<T*>(QString::fromUtf8(name));
}

}  // namespace qorin::testing
