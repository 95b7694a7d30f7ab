#pragma once

class Form1;

namespace clivara::operations {

// Which change is about to store the fields.
enum class StoredAs { Addition, Modification };

// Before the question of "Aggiungi Cliente" or "Modifica Cliente": when another customer of
// "Clienti" has the same Partita IVA, Codice Fiscale or Ragione Sociale as the fields (see
// register/customer_duplicates.h), a Yes/No box with No as default names it and asks whether
// to go on. A modification leaves out the customer it rewrites, and asks nothing when no row
// carries the shown ID (it stores nothing then). True to go on: nothing shared, or Yes. The
// box only warns: the fields and the archive stay as they are.
bool duplicateAccepted(Form1& form, StoredAs change);

}  // namespace clivara::operations
