#pragma once
// The locale of a Czech desktop for the whole process: the C library's (a decimal comma for
// printf and strtod) as well as Qt's default, so a number text that goes through the C
// library shows up garbled. False when the system lacks cs_CZ.UTF-8.
#include <QLocale>
#include <clocale>
#include <cstring>

namespace kv10::test {

inline bool useCzechLocale()
{
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::Czechia));
    // The POSIX name, then the names of the Windows C runtime.
    for (const char* name : {"cs_CZ.UTF-8", "Czech_Czechia.1250", "Czech_Czech Republic.1250", "Czech"}) {
        if (std::setlocale(LC_ALL, name))
            return std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    }
    return false;
}

constexpr const char* CzechLocaleMissing = "the locale cs_CZ.UTF-8 is not generated: run scripts/install-deps";

} // namespace kv10::test
