#pragma once

#include <QtGlobal>

// One shot line of the machine, "F0;rings;teiler;x;y;marker", read in place:
// the separators in the line become the ends of its fields, so reading a
// shot allocates nothing.
struct Schusszeile
{
    bool valid = false; // the rings field begins with a digit and gives a finite number
    double ringe = -1.0;
    double teiler = -1.0; // -1.0 when absent
    double x = 0.0;
    double y = 0.0;
    bool markiert = false; // the machine marked it doubtful ("M")
    // A number field holds more than a plain decimal ("1e2", "0x1p3", "9.7x",
    // an empty x): the runtime reads a number from it, but not one a
    // machine writes.
    bool ungewoehnlich = false;

    // At least 11 bytes and exactly five separators.
    static bool ist(const char *line, quint32 length);
    // `line` holds `length` bytes and a terminating zero.
    static Schusszeile lesen(char *line, quint32 length);
};
