#pragma once

class QComboBox;

// Typing into the open list of a combo box goes to the list's type-ahead, which takes the
// next entry that starts with the typed text. With this, when the typed text equals an entry
// exactly, that entry is taken instead (the next equal one from the current entry on, letter
// case counting first, then ignoring it); otherwise the type-ahead works as before.
void chooseEqualEntryOnTyping(QComboBox* combo);
