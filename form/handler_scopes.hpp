#pragma once

#include <algorithm>

#include "form/views.hpp"
#include "form/window_services.hpp"

namespace vips::form {

// The busy cursor of one handler. Once shown, the normal cursor comes back on
// every way out of the handler, an exception included; Restore() brings it
// back earlier, before an error box or a message, say.
class BusyCursor {
 public:
  explicit BusyCursor(WindowServices& services) : services_(services) {}
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
  ~BusyCursor() {
    if (shown_) services_.SetNormalCursor();
  }

  void Show() {
    services_.SetBusyCursor();
    shown_ = true;
  }
  // Always sets the normal cursor, whether or not the busy one was shown.
  void Restore() {
    shown_ = false;
    services_.SetNormalCursor();
  }

 private:
  WindowServices& services_;
  bool shown_ = false;
};

// Brackets a walk that cuts the table to one row and refills it straight on
// the core table (loading, applying), so that the view is rebuilt once at the
// end, also when the walk stops half-way on an error. The table is then shown
// from the top, with row 0 current in the column that was current: the walk
// began by cutting it to one row, however it ended.
class TableChange {
 public:
  explicit TableChange(GridView& grid) : grid_(grid), column_(std::max(grid.Col(), 0)) {
    grid_.BeginTableChange();
  }
  TableChange(const TableChange&) = delete;
  TableChange& operator=(const TableChange&) = delete;
  ~TableChange() {
    grid_.EndTableChange();
    grid_.SetCurrentCell(column_, 0);
  }

 private:
  GridView& grid_;
  int column_;
};

}  // namespace vips::form
