// Whole-table selection commands, the double-click toggle, cell drawing, paging.
// SCAFFOLD: to be written.
#include "app/Patch1.hpp"

void TForm1::Button3Click() {}
void TForm1::Button4Click() {}
void TForm1::Button5Click() {}
void TForm1::Button6Click() {}
void TForm1::Button7Click() {}
void TForm1::StringGrid1DblClick() {}
void TForm1::StringGrid1DrawCell(QPainter&, int, int, const QRect&, vips::app::GridDrawState) {}
