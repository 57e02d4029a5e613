#include "app/patch_table_model.hpp"

#include <algorithm>

#include "core/table/patch_table.hpp"

namespace vips::app {

PatchTableModel::PatchTableModel(PatchTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

int PatchTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : table_.RowCount();
}

int PatchTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : PatchTable::kColumns;
}

QVariant PatchTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  return QString::fromStdString(table_.Cell(index.column(), index.row()));
}

Qt::ItemFlags PatchTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;  // never editable
}

void PatchTableModel::BeginChange() {
  beginResetModel();
}

void PatchTableModel::EndChange() {
  endResetModel();
}

void PatchTableModel::CellsChanged(int column, int firstRow, int lastRow) {
  const int rows = table_.RowCount();
  if (rows == 0) return;
  firstRow = std::clamp(firstRow, 0, rows - 1);
  lastRow = std::clamp(lastRow, 0, rows - 1);
  if (firstRow > lastRow) return;
  emit dataChanged(index(firstRow, column), index(lastRow, column), {Qt::DisplayRole});
}

}  // namespace vips::app
