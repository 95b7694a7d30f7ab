#include "window/form1.h"

void Form1::Combo1_Change() {}
void Form1::Combo1_Click(int) {}
void Form1::FillCustomerList() {}
void Form1::ReloadCustomerList() {}
bool Form1::AddCustomerNames(int, bool) {
    return true;
}
