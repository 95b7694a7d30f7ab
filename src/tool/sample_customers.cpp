#include "tool/sample_customers.h"

#include <array>
#include <string>
#include <string_view>

namespace clivara::tool {

namespace {

using Customer = std::array<std::string_view, 13>;

// Fictional people and firms; the tax codes and VAT numbers carry their right check
// characters, so that the sample passes `check`.
constexpr std::array<Customer, 10> kCustomers = {{
    {"Alimentari Bellini S.n.c.", "3", "02/02/2008", "Via Mazzini 21", "37121", "Verona", "VR",
     "045 8001122", "3381234567", "BLLGRG62A14L781V", "02211334459", "Consegna il martedì", ""},
    {"Autofficina Russo", "7", "11/06/2008", "Via Nazionale 140", "70126", "Bari", "BA",
     "080 5012233", "3294455667", "RSSNTN70M22A662Q", "05566778899", "", "Cliente dal 2008"},
    {"Cartoleria Fontana", "1", "14/01/2008", "Corso Italia 5", "56125", "Pisa", "PI", "050 220011",
     "", "FNTLRA75D41G702Q", "01122334459", "", ""},
    {"Conti Elisabetta", "9", "03/10/2008", "Via dei Mille 9", "43121", "Parma", "PR",
     "0521 234567", "3477788990", "CNTLBT80R50G337Y", "", "Privata", ""},
    {"Farmacia San Marco", "5", "21/04/2008", "Piazza San Marco 2", "35122", "Padova", "PD",
     "049 8765432", "", "", "03344556679", "Orari: 8.30-19.30", ""},
    {"Greco Costruzioni S.p.A.", "2", "28/01/2008", "Via Libertà 310", "90143", "Palermo", "PA",
     "091 6543210", "3351122334", "GRCSLV58H05G273A", "04455667784", "Preventivo in corso",
     "Referente: ing. Greco"},
    {"Moretti Giovanni", "10", "17/11/2008", "Via Cavour 77", "50129", "Firenze", "FI", "",
     "3209988776", "MRTGNN66S17D612H", "", "", ""},
    {"Ottica Ricci", "6", "05/05/2008", "Via Emilia 48", "41121", "Modena", "MO", "059 211334",
     "3386655443", "", "06677889906", "", ""},
    {"Studio Legale Colombo", "4", "10/03/2008", "Via Solferino 12", "20121", "Milano", "MI",
     "02 76012345", "", "CLMMRC71C10F205A", "07788990013", "Fatturare allo studio", ""},
    {"Trattoria Da Gino", "8", "22/07/2008", "Via del Corso 3", "00186", "Roma", "RM", "06 6781234",
     "3331122445", "", "08899001120", "Chiuso la domenica", ""},
}};

}  // namespace

void addSampleCustomers(archive::Workbook& book) {
    archive::Sheet& clienti = *book.sheet("Clienti");
    int row = 2;
    for (const Customer& customer : kCustomers) {
        for (std::size_t column = 0; column < customer.size(); ++column) {
            clienti.setText(row, static_cast<int>(column) + 1, customer[column]);
        }
        ++row;
    }
    book.sheet("Codici")->setText(2, 1, std::to_string(kCustomers.size()));
}

}  // namespace clivara::tool
