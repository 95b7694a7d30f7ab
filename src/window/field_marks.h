#pragma once

#include <QObject>
#include <QPalette>

class Form1;
class QLineEdit;

// The discreet marks on the fields that have a check of their own ("C.A.P.", "(PR)",
// "Codice Fiscale", "Partita IVA"): a field whose text fails its check gets a light red
// background and the reason as its tooltip, renewed at every change of its text, typed or
// assigned. A mark only shows: no message, no refusal, the text stays as it is.
class FieldMarks : public QObject {
    Q_OBJECT

  public:
    // Watches the window's fields from now on; the marks live as long as the window.
    explicit FieldMarks(Form1& form);

    // The background of a marked field.
    static const QColor kMarkColour;

  private:
    void renew(int field);
    QLineEdit* edit(int field) const;

    Form1& form_;
    QPalette unmarked_[14];  // each checked field's own palette, by field number
};
