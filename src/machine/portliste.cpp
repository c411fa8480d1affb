#include "machine/portliste.h"

#include <QFileInfo>
#include <QSerialPortInfo>

QStringList &Portliste::zusatz()
{
    static QStringList _namen;
    return _namen;
}

void Portliste::setZusatz(const QStringList &namen)
{
    zusatz() = namen;
}

QList<Portliste::Port> Portliste::finden()
{
    QList<Port> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        QStringList teile;
        if (!info.description().isEmpty())
            teile << info.description();
        if (!info.manufacturer().isEmpty())
            teile << info.manufacturer();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            teile << QStringLiteral("USB %1:%2")
                         .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                         .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
#ifdef Q_OS_WIN
        ports << Port { info.portName(), teile.join(QStringLiteral(", ")) };
#else
        ports << Port { info.systemLocation(), teile.join(QStringLiteral(", ")) };
#endif
    }
    for (const QString &name : qAsConst(zusatz()))
        ports << Port { name, QString() };
    return ports;
}

QStringList Portliste::namen()
{
    QStringList namen;
    for (const Port &port : finden())
        namen << port.name;
    return namen;
}

bool Portliste::vorhanden(const QString &port)
{
    if (port.isEmpty())
        return false;
#ifdef Q_OS_WIN
    return namen().contains(port, Qt::CaseInsensitive);
#else
    // exists() follows a symlink such as /dev/serial/by-id/...: a link left
    // behind by an unplugged adapter does not count.
    return QFileInfo::exists(port.contains(QLatin1Char('/')) ? port : QStringLiteral("/dev/") + port)
        || zusatz().contains(port);
#endif
}

QString Portliste::grund(QSerialPort::SerialPortError fehler, const QString &port)
{
#ifdef Q_OS_WIN
    const bool zugaenglich = true; // a COM port has no rights of its own: denied means in use
#else
    // Qt reports a port that another program has locked or holds exclusively
    // as a permission error too; only the rights on the device file tell the
    // two apart. A bare name is looked for in /dev, as QSerialPort does.
    const QFileInfo geraet(port.contains(QLatin1Char('/')) ? port : QStringLiteral("/dev/") + port);
    const bool zugaenglich = geraet.isReadable() && geraet.isWritable();
#endif
    QString grund;
    if (fehler == QSerialPort::DeviceNotFoundError)
        grund = QStringLiteral("Der Port ist nicht vorhanden. ");
    else if (fehler == QSerialPort::OpenError || (fehler == QSerialPort::PermissionError && zugaenglich))
        grund = QStringLiteral("Der Port ist belegt (ein anderes Programm benutzt ihn). ");
    else if (fehler == QSerialPort::PermissionError)
        grund = QStringLiteral("Keine Berechtigung: den Benutzer in die Gruppe \"dialout\" aufnehmen und neu "
                               "anmelden. ");
    const QStringList vorhanden = namen();
    if (vorhanden.isEmpty())
        return grund + QStringLiteral("Auf diesem PC wurde kein serieller Port gefunden.");
    return grund + QStringLiteral("Vorhandene Ports: %1.").arg(vorhanden.join(QStringLiteral(", ")));
}
