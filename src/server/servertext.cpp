#include "server/servertext.h"

namespace {

bool richtungszeichen(char16_t c)
{
    return c == 0x061c || c == 0x200e || c == 0x200f || (c >= 0x202a && c <= 0x202e)
        || (c >= 0x2066 && c <= 0x2069);
}

bool zeilenende(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == u'\t' || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

} // namespace

QString Servertext::bereinigt(const QString &text, int laenge)
{
    QString sauber;
    // Enough for the cut text; a megabyte is looked at only until then.
    sauber.reserve(qMin(text.size(), qsizetype(laenge) + 2));
    bool luecke = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (zeilenende(u) || u == u' ') {
            luecke = !sauber.isEmpty();
            continue;
        }
        if (c.category() == QChar::Other_Control || richtungszeichen(u))
            continue;
        if (luecke)
            sauber += QLatin1Char(' ');
        luecke = false;
        sauber += c;
        if (sauber.size() > laenge)
            break;
    }
    if (sauber.size() <= laenge)
        return sauber;
    // Cut on a whole character, not between the halves of a surrogate pair.
    qsizetype ende = laenge - 1;
    if (ende > 0 && sauber.at(ende - 1).isHighSurrogate())
        --ende;
    return sauber.left(ende) + QStringLiteral("…");
}
