#include "machine/portwaechter.h"

#include "machine/maschine.h"
#include "machine/portliste.h"

#include <QDebug>

PortWaechter::PortWaechter(MaschineRm3 &maschine, QObject *parent)
    : QObject(parent)
    , _maschine(maschine)
{
    _timer.setInterval(PruefIntervall);
    connect(&_timer, &Wecker::timeout, this, &PortWaechter::pruefen);
    connect(&_maschine, &MaschineRm3::portVerloren, this, &PortWaechter::onPortVerloren);
    connect(&_maschine, &MaschineRm3::zustandGeaendert, this, &PortWaechter::onMaschinenZustand);
}

void PortWaechter::stop()
{
    if (!_timer.isActive() && !_verbindetNeu)
        return;
    _timer.stop();
    _verbindetNeu = false;
    emit geaendert();
}

void PortWaechter::onPortVerloren()
{
    qInfo().noquote() << "PortWaechter::onPortVerloren: waiting for " + _maschine.serialPort();
    _gesehen = 0;
    _verbindetNeu = false;
    _timer.start();
    emit geaendert();
}

void PortWaechter::pruefen()
{
    if (_maschine.zustand() != MaschineRm3::Getrennt) {
        stop();
        return;
    }
    // The settings may name another port meanwhile; the one configured now
    // is the one looked for.
    _gesehen = Portliste::vorhanden(_maschine.serialPort()) ? _gesehen + 1 : 0;
    if (_gesehen < 2)
        return;
    qInfo().noquote() << "PortWaechter::pruefen: " + _maschine.serialPort() + " is back, connecting";
    _timer.stop();
    _verbindetNeu = true;
    emit geaendert();
    _maschine.verbinden();
    // A port that would not open has been reported by the link; the officer
    // takes it from there.
    if (_maschine.zustand() == MaschineRm3::Getrennt)
        stop();
}

void PortWaechter::onMaschinenZustand(int zustand)
{
    if (zustand != MaschineRm3::Verbindungsaufbau && _verbindetNeu) {
        _verbindetNeu = false;
        emit geaendert();
    }
}
