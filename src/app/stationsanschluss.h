#pragma once

#include "app/kartenfluss.h"

class MaschineRm3;
class SchussBuffer;
class ServiceProvider;

// The card flow's calls outward, bound to the station's machine link, shot
// buffer and server client.
class Stationsanschluss : public Kartenfluss::Anschluss
{
public:
    Stationsanschluss(MaschineRm3 &maschine, SchussBuffer &schussBuffer, ServiceProvider &serviceProvider);

    quint32 abrufen(quint32 nummer) override;
    quint32 uebermitteln(quint32 scheibenId, const ServiceProvider::Treffer *treffer, quint32 zahl) override;
    bool einstellen(const Kartenfluss::Einstellung &einstellung) override;
    void karteBeenden() override;
    void schuesseVergessen() override;
    void wiederholen() override;

private:
    // The number of the request `senden` made, 0 if it made none.
    template<typename Senden> quint32 auftrag(Senden senden);

    MaschineRm3 &_maschine;
    SchussBuffer &_schussBuffer;
    ServiceProvider &_serviceProvider;
};
