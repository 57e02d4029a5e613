#pragma once

#include <QAbstractTableModel>

namespace vips {
class PatchTable;
}

namespace vips::app {

// The grid's model: reads the core patch table directly, so the table's cell
// texts stay the one store and a million rows cost no per-row objects.
class PatchTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  PatchTableModel(PatchTable& table, QObject* parent);

  [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Around changes of the row count or of many cells made on the table.
  void BeginChange();
  void EndChange();
  // Cells of `column` in rows [firstRow, lastRow] were rewritten.
  void CellsChanged(int column, int firstRow, int lastRow);

 private:
  PatchTable& table_;
};

}  // namespace vips::app
