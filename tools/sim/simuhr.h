#pragma once

#include "machine/uhr.h"

#include <QHash>
#include <QSet>

// A clock that stands still until it is moved on. Alarms fall due in the
// order of their deadlines, alarms due at the same moment in the order they
// were set, so a run on this clock is the same every time.
class SimUhr : public Uhr
{
public:
    // Becomes the current clock for as long as it lives.
    SimUhr();
    ~SimUhr() override;

    qint64 ms() const { return _jetzt; }
    QDateTime jetzt() const override { return _start.addMSecs(_jetzt); }

    // The deadline of the next alarm, or -1 when none is set.
    qint64 naechster() const;
    // Moves to the next alarm and rings it; false when none is set.
    bool klingelnNaechster();
    // Moves on by `ms`, ringing every alarm that falls due on the way.
    void vorstellen(qint64 ms);

protected:
    void starten(Wecker *wecker, int ms) override;
    void anhalten(Wecker *wecker) override;
    bool laeuft(const Wecker *wecker) const override;
    void anmelden(Wecker *wecker) override { _wecker.insert(wecker); }
    void vergessen(Wecker *wecker) override;

private:
    struct Alarm
    {
        qint64 faellig;
        quint64 folge;
    };
    Wecker *erster() const;

    QDateTime _start;
    qint64 _jetzt = 0;
    quint64 _folge = 0;
    QHash<Wecker *, Alarm> _alarme;
    QSet<Wecker *> _wecker; // every alarm made on this clock and still alive
};
