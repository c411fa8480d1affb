#pragma once

#include <QString>

// Turns the position of a hit into what the officer sees and the server
// stores: the ring value with tenths, the Teiler, the trend, and the texts
// of them. It needs no target: whatever scores a shot, with or without a
// face on the screen, scores it here.
//
// Coordinates are in ring widths relative to the centre, x to the right and
// y downwards as drawn; r is the distance from the centre in ring widths.
class Geometrie
{
public:
    Geometrie() = delete;

    // Ring widths of the two faces in hundredths of a millimetre, which are
    // the Teiler units per ring width at a Teiler factor of 1.
    static constexpr double RingbreiteLuftgewehr = 250.0; // 2.5 mm
    static constexpr double RingbreiteLuftpistole = 800.0; // 8 mm
    // Half the side of the square a face is drawn in, in ring widths: a hit
    // further out in x or y lies beyond every face.
    static constexpr double Feldgrenze = 11.1;

    // 0.0 for a miss, otherwise 1.0 to 10.9 in tenths.
    static double ringe(double x, double y);
    static double ringe(double r);
    // The distance times `abstand`; -1.0 for a miss.
    static double teiler(double x, double y, double abstand);
    static double teiler(double r, double abstand);
    // The distance times `abstand` even outside the rings: the miss test is
    // left to the caller, and the result is never -1.0.
    static double teilerOhneTest(double x, double y, double abstand);
    static double teilerOhneTest(double r, double abstand);
    // 0 up, clockwise to 7; -1 within 0.1 ring widths of the centre.
    static int tendenz(double x, double y);

    // Teiler units per ring width for the weapon type of the machine and the
    // server (1 air rifle, anything else air pistol) and a card's factor.
    static double teilerAbstand(int waffenTyp, double teilerFaktor);

    static QString ringeText(double ringe); // truncated to tenths: 9.7 -> "9,7R", none "0,0R"
    static QString teilerText(double teiler); // rounded to tenths: 604.669 -> "604,7T", none ""
    // One decimal with a comma, whatever the locale: 9.96 reads 10,0.
    static QString zehntelText(double wert);
};
