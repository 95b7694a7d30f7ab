#include "register/frozen_formulas.h"

#include "archive/model/workbook_data.h"

namespace clivara::customers {

namespace {

constexpr std::size_t kNamedCells = 8;  // cells named one by one; the rest are counted

}  // namespace

FrozenFormulaMark markFrozenFormulas(const archive::Workbook& book) {
    FrozenFormulaMark mark;
    mark.perSheet.reserve(book.sheetCount());
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        mark.perSheet.push_back(book.sheetAt(i).data().frozenFormulas.size());
    }
    return mark;
}

std::string cellName(int row, int column) {
    std::string letters;
    for (int rest = column; rest > 0; rest = (rest - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (rest - 1) % 26));
    }
    return letters + std::to_string(row);
}

std::string volatileFreezeWarning(const archive::Workbook& book, const FrozenFormulaMark& mark) {
    std::size_t count = 0;
    std::string places;
    std::string lastSheet;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        const archive::Sheet& sheet = book.sheetAt(i);
        const auto& frozen = sheet.data().frozenFormulas;
        const std::size_t from = i < mark.perSheet.size() ? mark.perSheet[i] : 0;
        for (std::size_t f = from; f < frozen.size(); ++f) {
            // A cell whose row went since is no longer there to be told of.
            if (!frozen[f].isVolatile || frozen[f].row == 0) continue;
            ++count;
            if (count > kNamedCells) continue;
            if (sheet.name() != lastSheet) {
                if (!places.empty()) places += "; ";
                places += "foglio «" + sheet.name() + "»: ";
                lastSheet = sheet.name();
            } else {
                places += ", ";
            }
            places += cellName(frozen[f].row, frozen[f].column);
        }
    }
    if (count == 0) return {};
    if (count > kNamedCells) places += " e altre " + std::to_string(count - kNamedCells);
    const bool one = count == 1;
    return std::string(one ? "Una formula che si ricalcola da sola (OGGI, ADESSO, ...) non "
                             "poteva seguire le righe spostate ed è stata sostituita dal suo "
                             "ultimo valore, che non si aggiornerà più ("
                           : std::to_string(count) +
                                 " formule che si ricalcolano da sole (OGGI, ADESSO, ...) non "
                                 "potevano seguire le righe spostate e sono state sostituite "
                                 "dal loro ultimo valore, che non si aggiornerà più (") +
           places + ").";
}

}  // namespace clivara::customers
