#include "machine/schusszeile.h"

#include <QtNumeric>

#include <cctype>
#include <cstdlib>
#if defined(__GLIBC__)
#include <locale.h>
#endif

namespace {

// The machine writes its numbers with "." and never with a locale's comma, so
// its fields are read as the C runtime reads them in the "C" locale, whatever
// locale the process happens to run in.
double zahl(const char *feld)
{
#if defined(__GLIBC__)
    static locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    if (cLocale)
        return strtod_l(feld, nullptr, cLocale);
#endif
    return std::strtod(feld, nullptr);
}

bool ziffer(char c)
{
    return c >= '0' && c <= '9';
}

bool leer(char c)
{
    return c == ' ' || c == '\t';
}

// Blanks, an optional sign, digits, optionally "." and digits, blanks.
bool schlicht(const char *feld)
{
    while (leer(*feld))
        ++feld;
    if (*feld == '+' || *feld == '-')
        ++feld;
    if (!ziffer(*feld))
        return false;
    while (ziffer(*feld))
        ++feld;
    if (*feld == '.') {
        ++feld;
        while (ziffer(*feld))
            ++feld;
    }
    while (leer(*feld))
        ++feld;
    return *feld == '\0';
}

} // namespace

bool Schusszeile::ist(const char *line, quint32 length)
{
    if (length <= 10)
        return false;
    int trenner = 0;
    for (quint32 i = 0; i < length; ++i) {
        if (line[i] == ';')
            ++trenner;
    }
    return trenner == 5;
}

Schusszeile Schusszeile::lesen(char *line, quint32 length)
{
    const char *feld[6] = { line, nullptr, nullptr, nullptr, nullptr, nullptr };
    int f = 1;
    for (quint32 i = 0; i < length && f < 6; ++i) {
        if (line[i] == ';') {
            line[i] = '\0';
            feld[f++] = line + i + 1;
        }
    }

    Schusszeile s;
    s.valid = ziffer(feld[1][0]);
    s.ringe = s.valid ? zahl(feld[1]) : -1.0;
    s.teiler = ziffer(feld[2][0]) ? zahl(feld[2]) : -1.0;
    s.x = zahl(feld[3]);
    s.y = zahl(feld[4]);
    s.ungewoehnlich = (s.valid && !schlicht(feld[1])) || (s.teiler >= 0.0 && !schlicht(feld[2]))
        || !schlicht(feld[3]) || !schlicht(feld[4]);
    // A line noise "1e999", "inf" or "nan" converts to no usable number;
    // such a field counts as absent and a shot without a position as invalid,
    // so nothing downstream scores or draws an infinite value.
    if (!qIsFinite(s.teiler))
        s.teiler = -1.0;
    if (!qIsFinite(s.x) || !qIsFinite(s.y)) {
        s.x = 0.0;
        s.y = 0.0;
        s.valid = false;
    }
    if (!s.valid || !qIsFinite(s.ringe)) {
        s.valid = false;
        s.ringe = -1.0;
    }
    s.markiert = feld[5][0] == 'M';
    return s;
}
