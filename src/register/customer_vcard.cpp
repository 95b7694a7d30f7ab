#include "register/customer_vcard.h"

#include <initializer_list>
#include <string_view>

#include "register/customer_fields.h"

namespace clivara::customers {

namespace {

constexpr int kAddressColumn = 4;
constexpr int kTownColumn = 6;
constexpr int kPhoneColumn = 8;
constexpr int kMobileColumn = 9;
constexpr int kFirstNoteColumn = 12;
constexpr int kSecondNoteColumn = 13;
constexpr std::size_t kLongestLine = 75;  // bytes, the line break not counted

// A text value with the characters the format reserves escaped; every line break (CR LF, CR
// or LF) as \n, other control characters as spaces.
std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case ',':
                out += "\\,";
                break;
            case ';':
                out += "\\;";
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                out += "\\n";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
        }
    }
    return out;
}

// Appends one content line, folded: a line over 75 bytes goes on in the next one after a
// space, cut only before the first byte of a UTF-8 character.
void appendLine(std::string& out, std::string_view line) {
    std::size_t room = kLongestLine;
    while (line.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        if (cut == 0) cut = room;  // not UTF-8 at all: cut where the line is full
        out.append(line.substr(0, cut));
        out += "\r\n ";
        line.remove_prefix(cut);
        room = kLongestLine - 1;  // the space in front counts
    }
    out.append(line);
    out += "\r\n";
}

}  // namespace

std::string customersAsVcards(const archive::Sheet& clienti, std::span<const int> rows) {
    std::string out;
    for (const int row : rows) {
        auto field = [&](int column) { return clienti.text(row, column); };
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        const std::string id = field(kIdColumn);
        if (!id.empty()) appendLine(out, "UID:" + escaped(id));
        const std::string name = escaped(field(kNameColumn));
        appendLine(out, "FN:" + name);
        out += "N:;;;;\r\n";
        appendLine(out, "ORG:" + name);

        const std::string street = field(kAddressColumn);
        const std::string town = field(kTownColumn);
        const std::string province = field(kProvinceColumn);
        const std::string postcode = field(kPostcodeColumn);
        if (!street.empty() || !town.empty() || !province.empty() || !postcode.empty()) {
            // Post office box; extended address; street; locality; region; postal code; country.
            appendLine(out, "ADR;TYPE=WORK:;;" + escaped(street) + ';' + escaped(town) + ';' +
                                escaped(province) + ';' + escaped(postcode) + ';');
        }
        const std::string phone = field(kPhoneColumn);
        if (!phone.empty()) appendLine(out, "TEL;TYPE=WORK,VOICE:" + escaped(phone));
        const std::string mobile = field(kMobileColumn);
        if (!mobile.empty()) appendLine(out, "TEL;TYPE=CELL:" + escaped(mobile));

        std::string note;
        auto addNote = [&](std::string_view text) {
            if (text.empty()) return;
            if (!note.empty()) note += '\n';
            note += text;
        };
        for (const int column : {kTaxCodeColumn, kVatNumberColumn}) {
            const std::string code = field(column);
            if (!code.empty()) addNote(std::string(fieldCaption(column)) + ": " + code);
        }
        addNote(field(kFirstNoteColumn));
        addNote(field(kSecondNoteColumn));
        if (!note.empty()) appendLine(out, "NOTE:" + escaped(note));
        out += "END:VCARD\r\n";
    }
    return out;
}

}  // namespace clivara::customers
