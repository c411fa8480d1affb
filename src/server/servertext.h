#pragma once

#include <QString>

// A text the server sent, made fit for a label, the printout and the
// shooter's display: the server is a peer like any other, and a name of a
// megabyte, a line break or a right-to-left override in it would stall the
// window or turn the text around.
class Servertext
{
public:
    Servertext() = delete;

    // Longest name of a shooter, club, team, weapon or competition shown.
    static constexpr int MaxLaenge = 100;

    // Line breaks and tabs become blanks, runs of blanks one; other control
    // characters and the bidirectional controls go. A text longer than
    // `laenge` characters is cut and ends in "…".
    static QString bereinigt(const QString &text, int laenge = MaxLaenge);
};
