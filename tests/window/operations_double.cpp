#include "window/operations_double.h"

#include "window/form1.h"

OperationCalls& operationCalls() {
    static OperationCalls calls;
    return calls;
}

void resetOperationCalls() {
    operationCalls() = OperationCalls{};
}

bool Form1::Form_Load() {
    return true;
}

void Form1::Form_Activate() {
    ++operationCalls().formActivate;
    if (operationCalls().onFormActivate) {
        operationCalls().onFormActivate(*this);
    }
}

void Form1::Combo1_Change() {
    ++operationCalls().comboChange;
    operationCalls().comboTextAtChange.append(comboText());
    if (operationCalls().onComboChange) {
        operationCalls().onComboChange(*this);
    }
}

void Form1::Combo1_Click(int chosenIndex) {
    ++operationCalls().comboClick;
    operationCalls().lastClickIndex = chosenIndex;
}

void Form1::loadCustomerRow(int row) {
    operationCalls().loadedRows.push_back(row);
}

void Form1::MnEsci_Click() {
    ++operationCalls().esci;
}

void Form1::mnuA_Click() {
    ++operationCalls().add;
}

void Form1::mnuM_Click() {
    ++operationCalls().modify;
}

void Form1::mnuE_Click() {
    ++operationCalls().erase;
}

void Form1::mnuAnnulla_Click() {
    ++operationCalls().undo;
}

void Form1::mnuRipeti_Click() {
    ++operationCalls().redo;
}

void Form1::MnStampa_Click() {
    ++operationCalls().print;
}

void Form1::MnEtichette_Click() {
    ++operationCalls().labels;
}
