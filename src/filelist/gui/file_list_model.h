// Shows the core FileList in the report list. It holds no copy of the data:
// cells are converted for display when the view asks for them, which keeps a
// list of 100,000 files fast.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <functional>
#include <utility>

#include "filelist/file_list.h"

namespace qorin::filelist {

class FileListModel : public QAbstractTableModel, public FileListObserver {
  Q_OBJECT

 public:
  explicit FileListModel(FileList& list, QObject* parent = nullptr);
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

  // The rows the view shows (first, last). A change to many rows is then
  // announced for those alone: the view works through every row of a
  // change it is told of, and paints the others from the list anyway when
  // they come into sight.
  void setShownRows(std::function<std::pair<int, int>()> shown) { shown_ = std::move(shown); }

 private:
  FileList& list_;
  std::function<std::pair<int, int>()> shown_;
  QIcon success_;
  QIcon failure_;
  QColor conflict_{0xC0, 0x00, 0x00};
};

}  // namespace qorin::filelist
