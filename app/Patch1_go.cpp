// Go, its backup step, and Recover.
// SCAFFOLD: to be written.
#include "app/Patch1.hpp"

void TForm1::BitBtn2Click() {}
void TForm1::BitBtn3Click() {}
void TForm1::MakeBackupCopy() {}
