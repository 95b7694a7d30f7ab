#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class Form1;

// Stand-ins for the window's operations handlers, for tests of the window alone: each call
// is counted, and a test may give a handler something to do.
struct OperationCalls {
    int formActivate = 0;
    int comboChange = 0;
    int comboClick = 0;
    int lastClickIndex = -2;
    std::vector<int> loadedRows;
    QStringList comboTextAtChange;
    int esci = 0;
    int add = 0;
    int modify = 0;
    int erase = 0;
    int undo = 0;
    int redo = 0;
    int print = 0;
    int labels = 0;
    std::function<void(Form1&)> onComboChange;
    std::function<void(Form1&)> onFormActivate;
};

// The calls since the last reset.
OperationCalls& operationCalls();
void resetOperationCalls();
