#include "window/form1.h"

bool Form1::Form_Load() {
    return true;
}
void Form1::Form_Activate() {}
