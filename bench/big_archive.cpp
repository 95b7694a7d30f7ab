#include "big_archive.h"

#include <array>
#include <cstdint>
#include <string>

#include "archive/book/new_archive.h"
#include "archive/sort/sort_archive.h"

namespace {

// A small deterministic generator (xorshift), so every run benchmarks the same file.
class Random {
  public:
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    int below(int bound) { return static_cast<int>(next() % static_cast<std::uint32_t>(bound)); }

  private:
    std::uint32_t state_ = 2463534242u;
};

const std::array<const char*, 12> kWords = {"Rossi",  "Bianchi", "Ferrari", "Esposito",
                                            "Romano", "Colombo", "Ricci",   "Marino",
                                            "Greco",  "Bruno",   "Gallo",   "Conti"};
const std::array<const char*, 6> kForms = {"S.r.l.", "S.p.A.", "S.n.c.", "& C.", "S.a.s.", ""};
const std::array<const char*, 8> kTowns = {"Roma",    "Milano", "Napoli",  "Torino",
                                           "Firenze", "Bari",   "Bologna", "Città di Castello"};
const std::array<const char*, 8> kProvinces = {"RM", "MI", "NA", "TO", "FI", "BA", "BO", "PG"};

std::string digits(Random& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text.push_back(static_cast<char>('0' + random.below(10)));
    }
    return text;
}

std::string letters(Random& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text.push_back(static_cast<char>('A' + random.below(26)));
    }
    return text;
}

std::string twoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

}  // namespace

clivara::archive::Workbook makeBigArchive(int customers) {
    using clivara::archive::Sheet;
    clivara::archive::Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    Random random;
    for (int i = 0; i < customers; ++i) {
        const int row = i + 2;
        const int town = random.below(static_cast<int>(kTowns.size()));
        clienti.setText(row, 1,
                        std::string(kWords[static_cast<std::size_t>(random.below(12))]) + " " +
                            kWords[static_cast<std::size_t>(random.below(12))] + " " +
                            std::to_string(i + 1) + " " +
                            kForms[static_cast<std::size_t>(random.below(6))]);
        clienti.setText(row, 2, std::to_string(i + 1));
        clienti.setText(row, 3,
                        twoDigits(1 + random.below(28)) + "/" + twoDigits(1 + random.below(12)) +
                            "/" + std::to_string(1990 + random.below(36)));
        clienti.setText(row, 4,
                        "Via " + std::string(kWords[static_cast<std::size_t>(random.below(12))]) +
                            ", " + std::to_string(1 + random.below(200)));
        clienti.setText(row, 5, "00" + digits(random, 3));
        clienti.setText(row, 6, kTowns[static_cast<std::size_t>(town)]);
        clienti.setText(row, 7, kProvinces[static_cast<std::size_t>(town)]);
        clienti.setText(row, 8, "06 " + digits(random, 7));
        if (random.below(2) == 0) {
            clienti.setText(row, 9, "3" + digits(random, 2) + " " + digits(random, 7));
        }
        clienti.setText(row, 10,
                        letters(random, 6) + digits(random, 2) + letters(random, 1) +
                            digits(random, 2) + letters(random, 1) + digits(random, 3) +
                            letters(random, 1));
        clienti.setText(row, 11, "0" + digits(random, 10));
        clienti.setText(
            row, 12,
            "Referente sig. " + std::string(kWords[static_cast<std::size_t>(random.below(12))]));
        clienti.setText(row, 13, random.below(3) == 0 ? "Pagamento a 30 giorni" : "");
    }
    book.sheet("Codici")->setText(2, 1, std::to_string(customers));
    clivara::archive::sortCustomerRows(clienti);
    return book;
}

std::filesystem::path bigArchivePath(int customers) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("clivara-bench-" + std::to_string(customers) + ".xls");
    if (!std::filesystem::exists(path)) {
        makeBigArchive(customers).save(path);
    }
    return path;
}
