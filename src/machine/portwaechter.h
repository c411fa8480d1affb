#pragma once

#include "machine/uhr.h"

#include <QObject>

class MaschineRm3;

// After the port went away under an open link (the USB adapter pulled out),
// looks for it to come back and then connects the link again by itself, as
// the officer would with "Verbinden". An explicit "Trennen" or "Verbinden"
// ends the watch.
class PortWaechter : public QObject
{
    Q_OBJECT

public:
    // How often the port is looked for, in ms.
    static constexpr int PruefIntervall = 1000;

    explicit PortWaechter(MaschineRm3 &maschine, QObject *parent = nullptr);

    // The port is gone and looked for.
    bool wartet() const { return _timer.isActive(); }
    // The port came back; the handshake of the new connection runs.
    bool verbindetNeu() const { return _verbindetNeu; }
    void stop();

    // Test seam: shortens the interval (ms).
    void setPruefIntervall(int ms) { _timer.setInterval(ms); }
    int pruefIntervall() const { return _timer.interval(); }

signals:
    // wartet() or verbindetNeu() changed.
    void geaendert();

private:
    void onPortVerloren();
    void pruefen();
    void onMaschinenZustand(int zustand);

    MaschineRm3 &_maschine;
    Wecker _timer;
    // Looks in a row that found the port: a device node appears before udev
    // has given it its rights, so the first sighting is not opened yet.
    int _gesehen = 0;
    bool _verbindetNeu = false;
};
