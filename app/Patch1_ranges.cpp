// Range fields (key filter, clamp, normalisation) and the range commands.
// SCAFFOLD: to be written.
#include "app/Patch1.hpp"

void TForm1::Edit3KeyPress(char&) {}
void TForm1::Edit4KeyPress(char&) {}
void TForm1::Edit5KeyPress(char&) {}
void TForm1::Edit6KeyPress(char&) {}
void TForm1::Edit7KeyPress(char&) {}
void TForm1::Edit8KeyPress(char&) {}
void TForm1::Edit3KeyUp() {}
void TForm1::Edit4KeyUp() {}
void TForm1::Edit5KeyUp() {}
void TForm1::Edit6KeyUp() {}
void TForm1::Edit7KeyUp() {}
void TForm1::Edit8KeyUp() {}
void TForm1::Button8Click() {}
void TForm1::Button9Click() {}
void TForm1::Button10Click() {}
void TForm1::NormalizeRangeFields() {}
bool TForm1::eventFilter(QObject* watched, QEvent* event) { return QWidget::eventFilter(watched, event); }
