#include "app/stationsanschluss.h"

#include "machine/maschine.h"
#include "machine/schussbuffer.h"
#include "server/serviceprovider.h"

Stationsanschluss::Stationsanschluss(MaschineRm3 &maschine, SchussBuffer &schussBuffer,
                                     ServiceProvider &serviceProvider)
    : _maschine(maschine)
    , _schussBuffer(schussBuffer)
    , _serviceProvider(serviceProvider)
{ }

template<typename Senden> quint32 Stationsanschluss::auftrag(Senden senden)
{
    const quint32 vorher = _serviceProvider.letzterAuftrag();
    senden();
    return _serviceProvider.letzterAuftrag() != vorher ? _serviceProvider.letzterAuftrag() : 0;
}

quint32 Stationsanschluss::abrufen(quint32 nummer)
{
    return auftrag([&] { _serviceProvider.getScheibe(nummer); });
}

quint32 Stationsanschluss::uebermitteln(quint32 scheibenId, const ServiceProvider::Treffer *treffer,
                                        quint32 zahl)
{
    return auftrag([&] { _serviceProvider.setTreffer(scheibenId, treffer, zahl); });
}

bool Stationsanschluss::einstellen(const Kartenfluss::Einstellung &e)
{
    return _maschine.setEinstellungen(e.waffe, e.scheibe, e.serie, MaschineRm3::Teilerfaktor(2), e.anzahl,
                                      QString());
}

void Stationsanschluss::karteBeenden()
{
    _maschine.karteBeenden();
}

void Stationsanschluss::schuesseVergessen()
{
    _schussBuffer.clear();
}

void Stationsanschluss::wiederholen()
{
    _schussBuffer.wiederholen();
}
