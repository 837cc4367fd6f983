// SPDX-License-Identifier: GPL-3.0-or-later
// Shows the core FileList in the report list. It holds no copy of the data:
// cells are converted for display when the view asks for them, which keeps a
// list of 100,000 files fast.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <functional>

#include "filelist/file_list.h"

namespace qorin::filelist {

// The conflict red readable on `background`: dark red, or a light one where
// the background is too dark for it.
QColor conflictColour(const QColor& background);

// The words the cells show for codes, from the catalogue of whoever shows
// the list.
struct RowWords {
  const std::string& (*status)(Status);
  const std::string& (*mp3Status)(Mp3Status);
  std::string (*reason)(Outcome, std::int32_t);
};

class FileListModel : public QAbstractTableModel, public FileListObserver {
  Q_OBJECT

 public:
  FileListModel(FileList& list, RowWords words, QObject* parent = nullptr);
  ~FileListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

  // FileListObserver
  void beginAppendRows(int first, int last) override;
  void endAppendRows() override;
  void beginRemoveRows(int first, int last) override;
  void endRemoveRows() override;
  void beginReset() override;
  void endReset() override;
  void cellsChanged(int firstRow, int lastRow, unsigned columnBits) override;

  // How to have the view paint again what it shows. On a long list cells
  // that change are not announced one range at a time: the view looks
  // through all its rows for each range it is told of, a few milliseconds
  // a time at a million, and paints from the list anyway.
  void setRepaint(std::function<void()> repaint) { repaint_ = std::move(repaint); }
  static constexpr int kLongList = 20000;
  // The list's background as the view paints it, for the conflict colour.
  void setBackground(std::function<QColor()> background) { background_ = std::move(background); }

 private:
  FileList& list_;
  RowWords words_;
  std::function<void()> repaint_;
  std::function<QColor()> background_;
  QIcon success_;
  QIcon failure_;
  QIcon warning_;
};

}  // namespace qorin::filelist
