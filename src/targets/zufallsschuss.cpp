// The link's random shot lives with the targets: it is the one thing the link
// scores itself (a real machine sends its shots scored), and the link's own
// sources include nothing of the targets.

#include "machine/maschine.h"
#include "targets/geometrie.h"

#include <QRandomGenerator>

#include <cmath>

void MaschineRm3::emitZufallsSchuss(quint32 nummer, Waffe waffe)
{
    // Seeded with 1 so that a demonstration or a test sees the same shots
    // every run; the static's initialisation is thread-safe.
    static QRandomGenerator rng(1);
    // bounded(-1100, 1100) is the 32-bit draw times 2200, upper half, minus
    // 1100: x and y lie in -11.00 ... 10.99 ring widths.
    const double x = rng.bounded(-1100, 1100) * 0.01;
    const double y = rng.bounded(-1100, 1100) * 0.01;
    const double ringe = Geometrie::ringe(x, y);
    const double teiler = Geometrie::teilerOhneTest(x, y, Geometrie::teilerAbstand(waffe, 1.0));
    emit schuss(nummer, true, ringe, teiler, x, y, std::abs(x - y) < 1.0);
}
