#include "targets/geometrie.h"

#include <algorithm>
#include <cmath>

namespace {

double abstandVonMitte(double x, double y)
{
    return std::sqrt(x * x + y * y);
}

// A count of tenths, already whole, as "whole,tenth". Done by hand so that the
// separator is a comma whatever the locale says, and in double so that an
// absurd value still gets a text where an integer would overflow.
QString zehntelZahl(double n)
{
    // Beyond this the tenths mean nothing; the bound keeps the text short
    // and inf or nan out of it.
    constexpr double grenze = 1e12;
    if (!(std::fabs(n) < grenze))
        n = std::isnan(n) ? 0.0 : std::copysign(grenze, n);
    const double ganz = std::floor(n / 10.0);
    const double zehntel = n - 10.0 * ganz;
    return QString::number(ganz, 'f', 0) + QLatin1Char(',') + QString::number(zehntel, 'f', 0);
}

} // namespace

double Geometrie::ringe(double x, double y)
{
    return ringe(abstandVonMitte(x, y));
}

double Geometrie::ringe(double r)
{
    // Tenths counted from the centre, halves upwards; kept in double so that
    // absurd distances cannot overflow an integer.
    const double zehntel = std::floor(10.0 * r + 0.5);
    const double wert = (110.0 - zehntel) / 10.0;
    // Written so that a distance that is not a number is a miss as well.
    if (!(wert >= 1.0))
        return 0.0;
    // The best hit is 10.9, a shot in the very centre does not make 11.
    return std::min(wert, 10.9);
}

double Geometrie::teiler(double x, double y, double abstand)
{
    return teiler(abstandVonMitte(x, y), abstand);
}

double Geometrie::teiler(double r, double abstand)
{
    if (ringe(r) < 1.0)
        return -1.0;
    return teilerOhneTest(r, abstand);
}

double Geometrie::teilerOhneTest(double x, double y, double abstand)
{
    return teilerOhneTest(abstandVonMitte(x, y), abstand);
}

double Geometrie::teilerOhneTest(double r, double abstand)
{
    return r * abstand;
}

int Geometrie::tendenz(double x, double y)
{
    const double r = abstandVonMitte(x, y);
    if (!(r > 0.1))
        return -1;
    // y grows downwards, so the angle grows clockwise from the right; turned
    // by 90 degrees sector 0 points straight up.
    const double grad = std::atan2(y, x) * 180.0 / 3.141592653589793;
    const double m = std::round(grad) + 90.0;
    const int n = static_cast<int>(std::round(m / 45.0));
    return (n + 8) % 8;
}

double Geometrie::teilerAbstand(int waffenTyp, double teilerFaktor)
{
    return (waffenTyp == 1 ? RingbreiteLuftgewehr : RingbreiteLuftpistole) / teilerFaktor;
}

QString Geometrie::ringeText(double ringe)
{
    if (!(ringe > 0.0))
        return QStringLiteral("0,0R");
    // Rings are never rounded up: 9.79 is still a nine and seven tenths.
    return zehntelZahl(std::trunc(10.0 * ringe)) + QLatin1Char('R');
}

QString Geometrie::teilerText(double teiler)
{
    if (!(teiler >= 0.0))
        return QString();
    return zehntelZahl(std::round(10.0 * teiler)) + QLatin1Char('T');
}

QString Geometrie::zehntelText(double wert)
{
    // std::llround rounds halves away from zero. The sign is kept in front
    // of the whole part, so -0.5 reads -0,5 and not 0,-5.
    // Bounded first: llround of a value beyond long long has no defined
    // result, and negating the smallest one overflows.
    const long long n = std::isfinite(wert) ? std::llround(std::clamp(wert, -1e12, 1e12) * 10.0) : 0;
    const long long betrag = n < 0 ? -n : n;
    return QStringLiteral("%1%2,%3")
        .arg(n < 0 ? QStringLiteral("-") : QString())
        .arg(betrag / 10)
        .arg(betrag % 10);
}
