// Placeholders for the add, modify and delete operations until they are written.
#include "window/form1.h"

void Form1::mnuA_Click() {}
void Form1::mnuM_Click() {}
void Form1::mnuE_Click() {}
