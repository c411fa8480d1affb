#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

class Wecker;

// Where the station takes its time from: the system clock by default. A
// test or a simulation installs a clock of its own (setAktuell) before it
// builds the objects whose alarms it wants to drive; every Wecker asks the
// clock that was current when it was made.
class Uhr
{
public:
    virtual ~Uhr() = default;

    // The system clock: Wecker run on QTimer, jetzt() is the wall clock.
    static Uhr &system();
    static Uhr &aktuell();
    // Null puts the system clock back.
    static void setAktuell(Uhr *uhr);

    // Wall-clock time, for the Verlauf and the printout.
    virtual QDateTime jetzt() const;

protected:
    friend class Wecker;
    virtual void starten(Wecker *wecker, int ms);
    virtual void anhalten(Wecker *wecker);
    virtual bool laeuft(const Wecker *wecker) const;
    // An alarm is made on this clock, or destroyed; a clock that keeps a
    // list takes it in or lets go of it.
    virtual void anmelden(Wecker *) { }
    virtual void vergessen(Wecker *) { }
    // A clock that goes away first hands its alarms to the system clock.
    static void umziehen(Wecker *wecker);
    // For a clock of its own: rings the alarm as its time has come.
    static void klingeln(Wecker *wecker);
};

// A timer on the current clock, with the part of QTimer the station uses.
class Wecker : public QObject
{
    Q_OBJECT

public:
    explicit Wecker(QObject *parent = nullptr);
    ~Wecker() override;

    // As with QTimer, a running alarm starts again with the new interval.
    void setInterval(int ms);
    int interval() const { return _intervall; }
    void setSingleShot(bool einmal) { _einmal = einmal; }
    bool isSingleShot() const { return _einmal; }
    void start() { _uhr->starten(this, _intervall); }
    void start(int ms);
    void stop() { _uhr->anhalten(this); }
    bool isActive() const { return _uhr->laeuft(this); }

signals:
    void timeout();

private:
    friend class Uhr;
    Uhr *_uhr;
    QTimer _timer; // the system clock's; unused on another clock
    int _intervall = 0;
    bool _einmal = false;
};
