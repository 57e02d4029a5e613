// Choosing the original file and choosing and loading the patch file.
// SCAFFOLD: to be written (Button1Click, Button2Click).
#include "app/Patch1.hpp"

void TForm1::Button1Click() {}
void TForm1::Button2Click() {}
