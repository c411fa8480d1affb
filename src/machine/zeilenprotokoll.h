#pragma once

#include <QtGlobal>

// The information log of the machine's lines. Every line that means
// something to the link is logged as it came; noise is not: a faulty cable
// sends a line of garbage after the other, and twenty seconds of it were
// forty megabytes of log. Of a run of noise the first line is logged, the
// rest and the bytes of over-long lines are counted, and the counts are
// logged once the run ends or grows large.
class Zeilenprotokoll
{
public:
    // After this many lines or bytes of noise the counts are logged anyway.
    static constexpr quint64 MaxZeilen = 10000;
    static constexpr quint64 MaxBytes = 1 << 20;

    // A line that the link acts on: the handshake answer, "SCHEIBE",
    // "ENDE", a shot line.
    void zeile(const char *line);
    void rauschen(const char *line);
    // A byte beyond the framing's 63 of a line, dropped.
    void verworfen()
    {
        if (++_bytes >= MaxBytes)
            abschliessen();
    }
    // Logs the counts of the run of noise so far, if there are any.
    void abschliessen();

private:
    bool _imRauschen = false; // the first line of the run is logged already
    quint64 _zeilen = 0; // noise lines not logged
    quint64 _bytes = 0;
};
