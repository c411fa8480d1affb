#include "simuhr.h"

SimUhr::SimUhr()
    : _start(QDate(2026, 3, 14), QTime(9, 0))
{
    Uhr::setAktuell(this);
}

SimUhr::~SimUhr()
{
    for (Wecker *w : qAsConst(_wecker))
        umziehen(w);
    if (&Uhr::aktuell() == this)
        Uhr::setAktuell(nullptr);
}

Wecker *SimUhr::erster() const
{
    Wecker *erster = nullptr;
    Alarm bester {};
    for (auto it = _alarme.cbegin(); it != _alarme.cend(); ++it) {
        const Alarm &a = it.value();
        if (!erster || a.faellig < bester.faellig
            || (a.faellig == bester.faellig && a.folge < bester.folge)) {
            erster = it.key();
            bester = a;
        }
    }
    return erster;
}

qint64 SimUhr::naechster() const
{
    Wecker *w = erster();
    return w ? _alarme.value(w).faellig : -1;
}

bool SimUhr::klingelnNaechster()
{
    Wecker *w = erster();
    if (!w)
        return false;
    _jetzt = qMax(_jetzt, _alarme.value(w).faellig);
    if (w->isSingleShot())
        _alarme.remove(w);
    else
        _alarme[w] = { _jetzt + qMax(1, w->interval()), ++_folge };
    klingeln(w);
    return true;
}

void SimUhr::vorstellen(qint64 ms)
{
    const qint64 ziel = _jetzt + ms;
    for (qint64 n = naechster(); n >= 0 && n <= ziel; n = naechster())
        klingelnNaechster();
    _jetzt = ziel;
}

void SimUhr::starten(Wecker *wecker, int ms)
{
    _alarme.insert(wecker, { _jetzt + qMax(0, ms), ++_folge });
}

void SimUhr::anhalten(Wecker *wecker)
{
    _alarme.remove(wecker);
}

bool SimUhr::laeuft(const Wecker *wecker) const
{
    return _alarme.contains(const_cast<Wecker *>(wecker));
}

void SimUhr::vergessen(Wecker *wecker)
{
    _alarme.remove(wecker);
    _wecker.remove(wecker);
}
