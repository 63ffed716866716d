#pragma once
// Number texts of the user interface, log and files: always through QLocale (the default
// locale unless one is given), so a Czech system shows a decimal comma.
#include <QLocale>
#include <QString>
#include <optional>

namespace kv10 {

// Fixed-point text rounded to at most `precision` significant digits and `decimals` decimals,
// padded with zeros to exactly `decimals` decimals (1234.567 -> "1234,60", 0.12345 -> "0,12").
// A value with more than `precision` integer digits after rounding falls back to the general
// exponent form with a two-digit exponent (123456 -> "1,2346E05").
QString fixedText(double value, int precision, int decimals, const QLocale& locale = QLocale());

// The fixed-number text of a 4-byte float: precision 5, two decimals.
QString fixedNumberText(double value, const QLocale& locale = QLocale());

// Output in tenths of a per cent shown as per cent with one decimal (1000 -> "100,0").
QString outputPercentText(int tenthsOfPercent, const QLocale& locale = QLocale());

// Shortest text with at most `precision` significant digits, no trailing zeros
// (21.10 -> "21,1"); exponent form beyond `precision` integer digits or below 0.00001.
QString generalText(double value, int precision = 15, const QLocale& locale = QLocale());

// A whole decimal number with optional sign, blanks around it allowed; nullopt otherwise.
std::optional<int> parseInteger(const QString& text);

// A number in the locale's notation (decimal separator, optional exponent); nullopt otherwise.
std::optional<double> parseNumber(const QString& text, const QLocale& locale = QLocale());

} // namespace kv10
