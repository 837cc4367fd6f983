// SPDX-License-Identifier: GPL-3.0-or-later
// Everything a person must answer goes through this interface, so that window
// tests can install an answering double instead of the real modal dialogs.
#pragma once

#include <QColor>
#include <QFont>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QApplication;
class QTranslator;
class QWidget;

namespace qorin::platform {

class Dialogs {
 public:
  enum class Icon { None, Information, Exclamation, Stop };

  virtual ~Dialogs() = default;
  // Full paths in the dialog's order; empty when cancelled.
  virtual QStringList openFiles(QWidget* owner, const QString& title, const QString& filter,
                                const QString& initialDir) = 0;
  // A directory, or the empty text when cancelled.
  virtual QString chooseFolder(QWidget* owner, const QString& title) = 0;
  virtual void message(QWidget* owner, const QString& title, const QString& text, Icon icon) = 0;
  // True only for Yes.
  virtual bool askYesNo(QWidget* owner, const QString& title, const QString& text, Icon icon) = 0;
  virtual std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) = 0;
  virtual std::optional<QColor> chooseColour(QWidget* owner, const QColor& initial) = 0;
  // A line of text; nothing when cancelled.
  virtual std::optional<QString> askText(QWidget* owner, const QString& title, const QString& label,
                                         const QString& initial) = 0;
  // The index of one of `items`; nothing when cancelled.
  virtual std::optional<int> chooseItem(QWidget* owner, const QString& title, const QString& label,
                                        const QStringList& items) = 0;
  // A message with 取消 while `ready`, asked every so often, says no; the
  // windows keep painting meanwhile. True once it said yes, false when
  // cancelled.
  virtual bool waitUntil(QWidget* owner, const QString& title, const QString& text,
                         const std::function<bool()>& ready) = 0;
};

// The real modal Qt dialogs.
class QtDialogs : public Dialogs {
 public:
  QStringList openFiles(QWidget* owner, const QString& title, const QString& filter,
                        const QString& initialDir) override;
  QString chooseFolder(QWidget* owner, const QString& title) override;
  void message(QWidget* owner, const QString& title, const QString& text, Icon icon) override;
  bool askYesNo(QWidget* owner, const QString& title, const QString& text, Icon icon) override;
  std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) override;
  std::optional<QColor> chooseColour(QWidget* owner, const QColor& initial) override;
  std::optional<QString> askText(QWidget* owner, const QString& title, const QString& label,
                                 const QString& initial) override;
  std::optional<int> chooseItem(QWidget* owner, const QString& title, const QString& label,
                                const QStringList& items) override;
  bool waitUntil(QWidget* owner, const QString& title, const QString& text,
                 const std::function<bool()>& ready) override;
};

// The program's name: the main window's title and the title of its messages.
QString programTitle();

// "所有文件(*.*)|*.*|..." turned into Qt's "所有文件(*.*) (*.*);;..." form.
// The open-file dialog hides the appended patterns, so each filter shows as
// written ("所有文件(*.*)").
QString toQtFilter(const QString& pipeFilter);

// Qt's own Chinese texts (standard buttons, the file, font and colour
// dialogs): qtbase_zh_CN from `dir`, Qt's installed translations when empty.
// The translator belongs to `app`; nothing (and no change) when none is found.
QTranslator* loadQtTranslations(QApplication& app, const QString& dir = QString());

// `face` when it is installed; otherwise an installed CJK face, so that Latin
// and Chinese text share one face rather than a Latin face borrowing Chinese
// glyphs one by one.
QString installedFace(const QString& face);

// The face the windows are laid out for: 9-point 宋体, or its stand-in.
QFont programFont();

}  // namespace qorin::platform
