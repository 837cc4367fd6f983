// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelist/gui/file_list_model.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "platform/gui/colours.h"
#include "platform/gui/icons.h"
#include "text/gui/qtext.h"

namespace qorin::filelist {

namespace {

// An exclamation mark on an amber triangle, the size of the other two status images.
QIcon warningIcon() {
  QPixmap pm(16, 15);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xE8, 0xA0, 0x00));
  p.drawPolygon(QPolygonF({QPointF(8, 0.5), QPointF(15.5, 14.5), QPointF(0.5, 14.5)}));
  p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(8, 5), QPointF(8, 9.5));
  p.drawPoint(QPointF(8, 12.5));
  p.end();
  return QIcon(pm);
}

}  // namespace

QColor conflictColour(const QColor& background) {
  // 4.85:1 on the default #80A080; red alone must not be the only sign, hence the icon too.
  const QColor dark(0x60, 0x00, 0x00), light(0xFF, 0xA8, 0xA8);
  return platform::contrastRatio(dark, background) >= platform::contrastRatio(light, background) ? dark
                                                                                                 : light;
}

FileListModel::FileListModel(FileList& list, RowWords words, QObject* parent)
    : QAbstractTableModel(parent),
      list_(list),
      words_(words),
      success_(icons::statusSuccess()),
      failure_(icons::statusFailure()),
      warning_(warningIcon()) {
  list_.setObserver(this);
}

FileListModel::~FileListModel() { list_.setObserver(nullptr); }

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : list_.rowCount();
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= list_.rowCount()) return {};
  const FileEntry& e = list_[index.row()];
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        // A name in no known encoding shows its bytes escaped, as does a proposal keeping them.
        case kColOld:
          return text::toQt(e.rawName ? platform::escapedBytes(e.oldName) : std::string(e.oldName));
        case kColNew:
          return text::toQt(e.rawName && platform::rawTarget(e.oldName, e.newNameCell) ==
                                             platform::RawTarget::Keeps
                                ? platform::escapedBytes(e.newNameCell)
                                : std::string(e.newNameCell));
        case kColDir:
          return text::toQt(e.dir);
        case kColStatus:
          return text::toQt(words_.status(e.statusCode));
        case kColMp3:
          return text::toQt(words_.mp3Status(e.mp3Code));
        default:
          return {};
      }
    case Qt::DecorationRole:
      if (index.column() == kColStatus && e.icon != StatusIcon::None)
        return e.icon == StatusIcon::Success ? success_ : e.icon == StatusIcon::Warning ? warning_ : failure_;
      // A proposal that will not apply is marked by more than its colour.
      if (index.column() == kColNew && e.mark.failed()) return warning_;
      return {};
    case Qt::ForegroundRole:
      // A proposal that will not apply stands out before the pass.
      if (index.column() == kColNew && e.mark.failed() && !e.newNameCell.empty())
        return conflictColour(background_ ? background_() : QColor(0x80, 0xA0, 0x80));
      return {};
    case Qt::ToolTipRole:
      if (index.column() == kColOld && e.gbkName) return QStringLiteral("文件名按GBK编码保存");
      if (index.column() == kColOld && e.rawName) return QStringLiteral("文件名编码无法确定");
      if (index.column() == kColNew && e.mark.failed())
        return text::toQt(words_.reason(e.mark, e.markDetail));
      // A note of the rule on a proposal that applies.
      if (index.column() == kColNew && e.proposalProblem.note() && !e.newNameCell.empty())
        return text::toQt(words_.reason(e.proposalProblem, 0));
      if (index.column() == kColStatus && !e.statusNote.empty()) return text::toQt(e.statusNote);
      if (index.column() == kColStatus && e.statusReason.failed())
        return text::toQt(words_.reason(e.statusReason, e.statusDetail));
      return {};
    default:
      return {};
  }
}

QVariant FileListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const captions[] = {"旧文件名", "新文件名", "路径", "命名状态", "MP3标签状态"};
  static_assert(std::size(captions) == kColumnCount);
  if (section < 0 || section >= kColumnCount) return {};
  return QString::fromUtf8(captions[section]);
}

void FileListModel::beginAppendRows(int first, int last) { beginInsertRows({}, first, last); }
void FileListModel::endAppendRows() { endInsertRows(); }
void FileListModel::beginRemoveRows(int first, int last) {
  QAbstractTableModel::beginRemoveRows({}, first, last);
}
void FileListModel::endRemoveRows() { QAbstractTableModel::endRemoveRows(); }
void FileListModel::beginReset() { beginResetModel(); }
void FileListModel::endReset() { endResetModel(); }

void FileListModel::cellsChanged(int firstRow, int lastRow, unsigned columnBits) {
  if (firstRow > lastRow || columnBits == 0) return;
  if (repaint_ && list_.rowCount() >= kLongList) {
    repaint_();
    return;
  }
  int lo = kColumnCount, hi = -1;
  for (int c = 0; c < kColumnCount; ++c)
    if (columnBits & (1u << c)) {
      lo = std::min(lo, c);
      hi = std::max(hi, c);
    }
  emit dataChanged(index(firstRow, lo), index(lastRow, hi),
                   {Qt::DisplayRole, Qt::DecorationRole, Qt::ForegroundRole, Qt::ToolTipRole});
}

}  // namespace qorin::filelist
