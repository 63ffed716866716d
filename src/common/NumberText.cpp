#include "NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace kv10 {

namespace {

// A finite non-zero magnitude as decimal digits d0 d1 d2 ... with value 0.d0d1d2... x 10^exponent.
struct Decimal {
    std::string digits;
    int exponent = 0; // number of digits before the decimal point
};

Decimal exactDigits(double magnitude)
{
    // 40 significant digits are far more than a float or a double needs to decide rounding.
    // std::to_chars ignores the C library's locale, which may write a decimal comma.
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 39);
    Q_ASSERT(error == std::errc());
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const auto ePos = text.find('e');
    Decimal d;
    d.digits.reserve(40);
    for (std::size_t i = 0; i < ePos; ++i)
        if (text[i] != '.')
            d.digits.push_back(text[i]);
    int exponent = 0;
    const char* from = text.data() + ePos + 1;
    if (*from == '+')
        ++from;
    std::from_chars(from, end, exponent);
    d.exponent = exponent + 1;
    return d;
}

// Keeps at most `count` leading digits, rounding half away from zero; a carry may raise the
// exponent. Trailing zeros are dropped, so an empty digit string means the value rounds to 0.
Decimal roundedTo(Decimal d, int count)
{
    count = std::max(count, 0);
    if (count < static_cast<int>(d.digits.size())) {
        const bool roundUp = d.digits[count] >= '5';
        d.digits.resize(count);
        if (roundUp) {
            int i = count - 1;
            while (i >= 0 && d.digits[i] == '9')
                d.digits[i--] = '0';
            if (i >= 0) {
                ++d.digits[i];
            } else {
                d.digits.insert(d.digits.begin(), '1');
                ++d.exponent;
            }
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

QString exponentForm(const Decimal& d, bool negative, int minExponentDigits, const QLocale& locale)
{
    QString text;
    if (negative)
        text += locale.negativeSign();
    text += QChar::fromLatin1(d.digits[0]);
    if (d.digits.size() > 1) {
        text += locale.decimalPoint();
        text += QString::fromLatin1(d.digits.data() + 1, static_cast<qsizetype>(d.digits.size() - 1));
    }
    int exponent = d.exponent - 1;
    text += QLatin1Char('E');
    if (exponent < 0) {
        text += locale.negativeSign();
        exponent = -exponent;
    }
    text += QString::number(exponent).rightJustified(minExponentDigits, QLatin1Char('0'));
    return text;
}

QString digitsText(const std::string& digits, int from, int to)
{
    QString text;
    text.reserve(std::max(to - from, 0));
    for (int i = from; i < to; ++i)
        text += QLatin1Char(i >= 0 && i < static_cast<int>(digits.size()) ? digits[i] : '0');
    return text;
}

} // namespace

QString fixedText(double value, int precision, int decimals, const QLocale& locale)
{
    if (!std::isfinite(value))
        return locale.toString(value);
    Decimal d;
    if (value != 0) {
        const Decimal exact = exactDigits(std::fabs(value));
        d = roundedTo(exact, std::min(precision, exact.exponent + decimals));
    }
    const QString fraction = decimals > 0 ? QString(locale.decimalPoint()) : QString();
    if (d.digits.empty()) // rounds to zero: shown without a sign
        return QLatin1Char('0') + fraction + QString(decimals, QLatin1Char('0'));
    if (d.exponent > precision)
        return exponentForm(d, value < 0, 2, locale);

    QString text = value < 0 ? locale.negativeSign() : QString();
    text += d.exponent > 0 ? digitsText(d.digits, 0, d.exponent) : QStringLiteral("0");
    if (decimals > 0)
        text += fraction + digitsText(d.digits, d.exponent, d.exponent + decimals);
    return text;
}

QString fixedNumberText(double value, const QLocale& locale)
{
    return fixedText(value, 5, 2, locale);
}

QString outputPercentText(int tenthsOfPercent, const QLocale& locale)
{
    return fixedText(tenthsOfPercent * 0.1, 4, 1, locale);
}

QString generalText(double value, int precision, const QLocale& locale)
{
    if (!std::isfinite(value))
        return locale.toString(value);
    if (value == 0)
        return QStringLiteral("0");
    const Decimal d = roundedTo(exactDigits(std::fabs(value)), precision);
    if (d.exponent > precision || d.exponent < -4) // below 0.00001
        return exponentForm(d, value < 0, 0, locale);

    const int count = static_cast<int>(d.digits.size());
    QString text = value < 0 ? locale.negativeSign() : QString();
    text += d.exponent > 0 ? digitsText(d.digits, 0, d.exponent) : QStringLiteral("0");
    if (count > d.exponent)
        text += locale.decimalPoint() + digitsText(d.digits, d.exponent, count);
    return text;
}

std::optional<int> parseInteger(const QString& text)
{
    const QString trimmed = text.trimmed();
    qsizetype i = trimmed.startsWith(QLatin1Char('-')) || trimmed.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (i == trimmed.size())
        return std::nullopt;
    for (; i < trimmed.size(); ++i)
        if (trimmed[i] < QLatin1Char('0') || trimmed[i] > QLatin1Char('9'))
            return std::nullopt;
    bool ok = false;
    const int value = trimmed.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<double> parseNumber(const QString& text, const QLocale& locale)
{
    QLocale strict = locale;
    strict.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = strict.toDouble(text.trimmed(), &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

} // namespace kv10
