#pragma once

#include <QList>
#include <QSerialPort>
#include <QString>
#include <QStringList>

// The serial ports of this PC, as the settings dialog offers them and as the
// message of a port that would not open lists them.
class Portliste
{
public:
    struct Port
    {
        QString name; // what kovrit opens: "/dev/ttyUSB0" on Linux, "COM3" on Windows
        QString beschreibung; // description, maker and USB ids, as far as known
    };

    // What the system enumerates, then the extra ports (in their order).
    static QList<Port> finden();
    static QStringList namen();
    // Whether the port is there now: its device file on Linux (a path, or a
    // bare name looked for in /dev as QSerialPort does), the enumeration on
    // Windows.
    static bool vorhanden(const QString &port);

    // The line below the message of a port that could not be opened: the
    // reason, as far as `fehler` tells it, and the ports that exist.
    static QString grund(QSerialPort::SerialPortError fehler, const QString &port);

    // Test seam: ports the system does not enumerate, such as a pty's slave.
    static void setZusatz(const QStringList &namen);

private:
    static QStringList &zusatz();
};
