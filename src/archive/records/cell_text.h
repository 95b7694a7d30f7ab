#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace clivara::archive {

// How a number is shown, decided by its cell's number format.
enum class NumberStyle : std::uint8_t { Plain, Date, DateTime };

// Built-in format ids 14-22 and 45-47 are dates; a custom format string is a date when it
// shows y/m/d/h/s outside quoted text, escapes and [...] sections. Time parts make DateTime.
NumberStyle numberStyleOfBuiltin(std::uint16_t formatId);
NumberStyle numberStyleOfFormat(std::string_view formatString);

// A number as the program shows it: a whole number in plain decimal ("42", "-7",
// "1655149088"); otherwise at most 15 significant digits with the Italian decimal comma
// ("7,5"). Dates as dd/MM/yyyy, with " HH:mm:ss" for DateTime, in the 1900 or 1904 system;
// a serial outside the calendar the application shows falls back to the plain number.
std::string numberToText(double value, NumberStyle style, bool dateSystem1904);

std::string booleanToText(bool value);  // VERO / FALSO
std::string errorToText(
    std::uint8_t errorCode);  // #NULLO! #DIV/0! #VALORE! #RIF! #NOME? #NUM! #N/D

// How a written text must be stored so that reading it back gives the same text.
struct StoredForm {
    enum class Kind : std::uint8_t { Text, Number, Date } kind = Kind::Text;
    double number = 0;  // for Number and Date (the serial in the workbook's date system)
};
// A canonical whole number (no leading zero, optional leading minus, at most 15 digits) is a
// Number; with dateFormatAvailable, a valid dd/MM/yyyy date is a Date; anything else Text.
StoredForm storedFormOf(std::string_view text, bool dateFormatAvailable, bool dateSystem1904);

// A format string that shows exactly dd/mm/yyyy (used to decide whether dates may be stored).
bool isDayMonthYearFormat(std::string_view formatString);

}  // namespace clivara::archive
