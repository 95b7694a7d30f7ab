#pragma once

class Form1;

// "Annulla" and "Ripeti" at the end of the "Clienti" menu, with Ctrl+Z, Ctrl+Y and
// Ctrl+Shift+Z. The keys follow one rule whatever control has the focus: a field the user has
// typed into since the register last changed takes them for its own typing, as every text
// field does; otherwise they take back or make again the register's last change.
void addUndoActions(Form1& form);

// After the register changed (a change, an undo, a redo): the entries name what they would do
// ("Annulla eliminazione di «Rossi Srl»"), plain and disabled when there is nothing, and what
// was typed before no longer takes the keys.
void updateUndoActions(Form1& form);

// For an archive opened only for reading: false disables both entries and their keys whatever
// the history holds; true gives them back.
void allowUndoActions(Form1& form, bool allowed);
