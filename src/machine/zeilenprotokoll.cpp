#include "machine/zeilenprotokoll.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

namespace {

// A station that filters the information log out should not pay for
// building the message of every line.
bool aktiv()
{
    return QLoggingCategory::defaultCategory()->isInfoEnabled();
}

} // namespace

void Zeilenprotokoll::zeile(const char *line)
{
    abschliessen();
    _imRauschen = false;
    if (aktiv())
        qInfo().noquote() << "MaschineRm3::onLineReceived: " + QString::fromLatin1(line);
}

void Zeilenprotokoll::rauschen(const char *line)
{
    if (_imRauschen) {
        if (++_zeilen >= MaxZeilen)
            abschliessen();
        return;
    }
    _imRauschen = true;
    if (aktiv())
        qInfo().noquote() << "MaschineRm3::onLineReceived: " + QString::fromLatin1(line);
}

void Zeilenprotokoll::abschliessen()
{
    if (_zeilen == 0 && _bytes == 0)
        return;
    if (aktiv()) {
        QStringList teile;
        if (_zeilen > 0)
            teile << QStringLiteral("%1 weitere Zeilen ohne Bedeutung").arg(_zeilen);
        if (_bytes > 0)
            teile << QStringLiteral("%1 Bytes ohne Zeilenende").arg(_bytes);
        qInfo().noquote() << "MaschineRm3::onLineReceived: … " + teile.join(QStringLiteral(" und "))
                + QStringLiteral(" verworfen");
    }
    _zeilen = 0;
    _bytes = 0;
}
