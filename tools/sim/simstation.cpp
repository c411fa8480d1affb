#include "simstation.h"

#include "targets/geometrie.h"

#include <cstring>
#include <utility>

SimStation::SimStation()
    : _fluss(*this)
{
    _server.musterAnlegen();

    // The window's connections, in its order.
    connect(&_maschine, &MaschineRm3::schuss, this,
            [this](quint32, bool, double, double, double, double, bool zweifelhaft) {
                _eintraege.append({ _zeilenHerkunft, false });
                _letzterSchuss = _uhr.ms();
                _zweifelhaft = _zweifelhaft || zweifelhaft;
            });
    connect(&_maschine, &MaschineRm3::schuss, &_puffer, &SchussBuffer::push);
    connect(&_puffer, &SchussBuffer::schuss, this,
            [this] { _laufend = _wiederholt >= 0 ? _wiederholt++ : _eintraege.size() - 1; });
    connect(&_puffer, &SchussBuffer::schuss, &_fluss, &Kartenfluss::schuss);
    connect(&_puffer, &SchussBuffer::schuss, this, [this] { _laufend = -1; });
    connect(&_maschine, &MaschineRm3::schussTimeout, &_fluss, &Kartenfluss::schussTimeout);
    connect(&_maschine, &MaschineRm3::schussIgnoriert, &_fluss, &Kartenfluss::schussIgnoriert);
    connect(&_maschine, &MaschineRm3::bereit, &_fluss, &Kartenfluss::maschineBereit);
    connect(&_maschine, &MaschineRm3::zustandGeaendert, &_fluss, &Kartenfluss::maschinenZustand);
    connect(&_maschine, &MaschineRm3::verbindungsFehler, this, [this](const QString &text) {
        _fehler << text;
        notiere(QStringLiteral("Fehler: ") + text);
    });
    // Every reset of the link drops the acknowledgement it owed.
    connect(&_maschine, &MaschineRm3::schussTimeout, this, [this] { _zweifelhaft = false; });
    connect(&_maschine, &MaschineRm3::zustandGeaendert, this, [this] { _zweifelhaft = false; });

    // The grid.
    connect(&_fluss, &Kartenfluss::naechsteFaellig, this, [this](quint32 nummer) { _faellig = nummer; });
    connect(&_fluss, &Kartenfluss::karteGezeigt, this, [this] {
        _nachzureichen = false;
        for (Ziel &z : _ziele)
            z = {};
        if (!_fluss.hatKarte())
            return;
        // The officer puts the card on screen into the reader, unless the
        // machine is reading it already.
        if (_leser != _fluss.nummer() || _leserAbgebrochen) {
            _leser = _fluss.nummer();
            _leserAbgebrochen = false;
            _gelesen[_leser] = 0;
        }
        notiere(QStringLiteral("card %1 shown").arg(_fluss.nummer()));
    });
    connect(&_fluss, &Kartenfluss::zielGesetzt, this,
            [this](quint32 i) { ziel(i, _laufend >= 0 ? Ziel::Maschine : Ziel::Gespeichert); });
    connect(&_fluss, &Kartenfluss::zielUngueltig, this,
            [this](quint32 i) { ziel(i, _laufend >= 0 ? Ziel::Maschine : Ziel::Fehlt); });
    connect(&_fluss, &Kartenfluss::zielLeer, this, [this](quint32 i) { ziel(i, Ziel::Leer); });
    connect(&_fluss, &Kartenfluss::zieleFestgeschrieben, this, [this] {
        for (Ziel &z : _ziele)
            z.entsperrt = false;
        verlassen();
        notiere(QStringLiteral("committed"));
    });
    connect(&_fluss, &Kartenfluss::zieleGeleert, this, [this] {
        _nachzureichen = false;
        for (Ziel &z : _ziele)
            z = {};
    });
    connect(&_fluss, &Kartenfluss::frageNeuAuswerten, this, [this](quint32 auftrag) {
        _frage = _antwort;
        notiere(QStringLiteral("asks Neu auswerten? for #%1").arg(auftrag));
    });
    connect(&_fluss, &Kartenfluss::frageZurueckgezogen, this,
            [this](quint32 auftrag) { notiere(QStringLiteral("question #%1 withdrawn").arg(auftrag)); });
    connect(&_fluss, &Kartenfluss::fehler, this, [this](const QString &text) {
        QString box = text;
        const QString nachsatz = _fluss.nimmNachsatz();
        if (!nachsatz.isEmpty())
            box += QLatin1Char('\n') + nachsatz;
        _fehler << box;
        notiere(QStringLiteral("Fehler: ") + box);
    });

    _maschine.setSerialPort(QStringLiteral("/dev/ttyRM3"));
    _maschine.setAusgabe(&_leitung);
    _fluss.angemeldet();
    _maschine.verbinden();
    _maschine.verarbeiteBytes("RM3\r");
    _geschrieben = _leitung.data().size();
}

SimStation::~SimStation()
{
    _maschine.setAusgabe(nullptr);
}

void SimStation::beginne(const QString &zeile)
{
    _zeile = zeile;
}

void SimStation::notiere(const QString &text)
{
    _zeile += (_zeile.contains(QLatin1String(" // ")) ? QStringLiteral("; ") : QStringLiteral(" // ")) + text;
}

void SimStation::ende()
{
    // A card entered whose wait ended without it on screen (refused, failed,
    // declined, logged off) is taken back out of the reader.
    if (_fluss.abruf() == 0 && _leser == _eingabe && !_leserAbgebrochen
        && !(_fluss.hatKarte() && _fluss.nummer() == _eingabe))
        _leser = 0;
    _protokoll << _zeile;
    emit schritt();
    // The window enters a queued number once the step that freed the input
    // is over; so does the station, as a step of its own that a replay of
    // the events brings about again by itself.
    const quint32 faellig = std::exchange(_faellig, 0);
    if (faellig != 0 && _fluss.aktiv() && !_fluss.eingabeGesperrt() && _fluss.offeneFrage() == 0) {
        beginne(QStringLiteral("// the queued card %1 is entered").arg(faellig));
        eingeben(faellig, false);
    }
}

bool SimStation::frei() const
{
    return _fluss.aktiv() && _fluss.offeneFrage() == 0 && !_verwerfen;
}

void SimStation::ziel(quint32 i, Ziel::Quelle quelle)
{
    if (i >= Kartenfluss::MaxSchuss)
        return;
    Ziel &z = _ziele[i];
    z.quelle = quelle;
    z.wiederholt = false;
    z.gezeigt = false;
    z.gehalten = _fluss.abruf() != 0;
    if (quelle == Ziel::Maschine) {
        Eintrag &e = _eintraege[_laufend];
        z.herkunft = e.herkunft;
        z.wiederholt = _wiederholt >= 0;
        z.gezeigt = e.gezeigt;
        e.gezeigt = e.gezeigt || (!z.wiederholt && !z.gehalten);
        e.gesehen = true;
    }
}

void SimStation::verlassen()
{
    if (_fluss.hatKarte() && _leser == _fluss.nummer())
        _leserAbgebrochen = true;
    for (Eintrag &e : _eintraege)
        e.herkunft.streuner = e.herkunft.streuner || e.gesehen;
}

// --- the officer ---

void SimStation::entry(quint32 nummer, bool behalten)
{
    beginne(behalten ? QStringLiteral("st.entry(%1, true);").arg(nummer)
                     : QStringLiteral("st.entry(%1);").arg(nummer));
    eingeben(nummer, behalten);
}

void SimStation::eingeben(quint32 nummer, bool behalten)
{
    _puffer.clear();
    _eintraege.clear();
    // The card in the reader is taken out for the new one, unless the
    // officer leaves the machine to read it to its end.
    if (!behalten && !_leserAbgebrochen && (!streng() || _gelesen.value(_leser) == 0))
        _leser = 0;
    _eingabe = nummer;
    _eingabeAuftrag = _server.abrufen(nummer);
    notiere(QStringLiteral("GET #%1").arg(_eingabeAuftrag));
    _fluss.nummerEingegeben(nummer, _eingabeAuftrag);
    ende();
}

void SimStation::scan(quint32 nummer)
{
    beginne(QStringLiteral("st.scan(%1);").arg(nummer));
    const QString ziffern = QString::number(nummer);
    for (qsizetype i = 0; i <= ziffern.size(); ++i) {
        const auto antwort = i < ziffern.size() ? _fluss.taste(Kartenfluss::Taste::Ziffer, ziffern.at(i))
                                                : _fluss.taste(Kartenfluss::Taste::Eingabe);
        if (antwort == Kartenfluss::TastenAntwort::Weiter
            || antwort == Kartenfluss::TastenAntwort::ZurNummer) {
            _leck = true;
            notiere(QStringLiteral("key %1 got through").arg(i));
        }
    }
    ende();
}

void SimStation::save()
{
    beginne(QStringLiteral("st.save();"));
    _speichernGedrueckt = true;
    const qsizetype vorher = _server.offen().size();
    _fluss.speichern();
    _nachzureichen = _nachzureichen || _server.offen().size() == vorher;
    _speichernGedrueckt = false;
    ende();
}

void SimStation::cancel()
{
    beginne(QStringLiteral("st.cancel();"));
    verlassen();
    _fluss.abbrechen();
    ende();
}

void SimStation::answer(bool ja)
{
    beginne(QStringLiteral("st.answer(%1);").arg(ja ? "true" : "false"));
    const quint32 auftrag = _fluss.offeneFrage();
    if (ja)
        _ja << auftrag;
    _zustellung = auftrag;
    _fluss.neuAuswertenBeantwortet(auftrag, ja);
    _zustellung = 0;
    ende();
}

void SimStation::hand(quint32 i, HandKind kind)
{
    static const char *const namen[] = { "Unlock", "Place", "Void" };
    beginne(QStringLiteral("st.hand(%1, SimStation::%2);").arg(i).arg(namen[kind]));
    if (!_ziele[i].entsperrt) {
        _ziele[i].entsperrt = true;
        _fluss.vonHand(i, Kartenfluss::Hand::Entsperrt);
    }
    if (kind == Place) {
        // Clicked a little right of the centre, further for each target.
        const double x = 0.4 * (i + 1);
        const double y = -0.3;
        const double abstand = Geometrie::teilerAbstand(_fluss.karte().waffenTyp, _fluss.teilerFaktor());
        _fluss.vonHand(i, Kartenfluss::Hand::Gesetzt,
                       { x, y, Geometrie::ringe(x, y), Geometrie::teiler(x, y, abstand) });
    } else if (kind == Void) {
        _fluss.vonHand(i, Kartenfluss::Hand::Entwertet);
    }
    if (kind != Unlock)
        ziel(i, Ziel::Hand);
    ende();
}

void SimStation::logoff()
{
    beginne(QStringLiteral("st.logoff();"));
    if (_fluss.ungespeichert()) {
        _verwerfen = true;
        notiere(QStringLiteral("asks Nicht gespeicherte Treffer verwerfen?"));
    } else {
        verlassen();
        _fluss.abgemeldet();
        for (Ziel &z : _ziele)
            z = {};
    }
    ende();
}

void SimStation::discard(bool ja)
{
    beginne(QStringLiteral("st.discard(%1);").arg(ja ? "true" : "false"));
    _verwerfen = false;
    if (ja) {
        verlassen();
        _fluss.abgemeldet();
        for (Ziel &z : _ziele)
            z = {};
    }
    ende();
}

void SimStation::login()
{
    beginne(QStringLiteral("st.login();"));
    _fluss.angemeldet();
    ende();
}

// --- the machine ---

void SimStation::speise(const QByteArray &zeile)
{
    _maschine.verarbeiteBytes(zeile);
}

void SimStation::insert()
{
    beginne(QStringLiteral("st.insert();"));
    _leser = _eingabe;
    _leserAbgebrochen = false;
    _gelesen[_leser] = 0;
    ende();
}

void SimStation::shot(ShotKind kind)
{
    static const char *const namen[] = { "Clean", "Doubtful", "Invalid" };
    beginne(QStringLiteral("st.shot(SimStation::%1);").arg(namen[kind]));
    const quint32 k = _gelesen[_leser]++;
    _zeilenHerkunft = { _leser, k, _leserAbgebrochen };
    // Each position of each paper card has its own place within 2.5 ring
    // widths of the centre.
    const double x = int((_leser * 37 + k * 11) % 51 - 25) / 10.0;
    const double y = int((_leser * 13 + k * 29) % 51 - 25) / 10.0;
    const SimServer::Karte *karte = _server.karte(_leser);
    const double breite
        = karte && karte->waffenTyp == 2 ? Geometrie::RingbreiteLuftpistole : Geometrie::RingbreiteLuftgewehr;
    const QByteArray nummer = QByteArray::number(k + 1) + ';';
    const QByteArray zeile = kind == Invalid ? nummer + "-;-;0.00;0.00;"
                                             : nummer + QByteArray::number(Geometrie::ringe(x, y), 'f', 1)
            + ';' + QByteArray::number(Geometrie::teilerOhneTest(x, y, breite), 'f', 1) + ';'
            + QByteArray::number(x, 'f', 2) + ';' + QByteArray::number(y, 'f', 2) + ';'
            + (kind == Doubtful ? "M" : "");
    speise(zeile + '\r');
    _zeilenHerkunft = {};
    ende();
}

void SimStation::line(const char *zeile)
{
    beginne(QStringLiteral("st.line(\"%1\");").arg(QLatin1String(zeile)));
    const qsizetype vorher = _leitung.data().size();
    speise(QByteArray(zeile) + '\r');
    if (_leitung.data().size() > vorher && _leitung.data().at(vorher) == '\r') {
        _quittungSeit = _uhr.ms();
        _zweifelhaft = false;
        notiere(QStringLiteral("acknowledged"));
    }
    ende();
}

void SimStation::broken()
{
    beginne(QStringLiteral("st.broken();"));
    speise("7;9.8;1");
    ende();
}

void SimStation::pause()
{
    beginne(QStringLiteral("st.pause();"));
    _uhr.vorstellen(MaschineRm3::KontrollstrIntervall);
    ende();
}

void SimStation::silence()
{
    beginne(QStringLiteral("st.silence();"));
    _uhr.vorstellen(MaschineRm3::SchussTimeout);
    ende();
}

void SimStation::replug()
{
    beginne(QStringLiteral("st.replug();"));
    _leitung.close();
    _leitung.setData(QByteArray());
    _maschine.verbinden();
    _verbindenSeit = _uhr.ms();
    ende();
}

void SimStation::hello()
{
    beginne(QStringLiteral("st.hello();"));
    speise("RM3\r");
    ende();
}

// --- the server ---

void SimStation::process(quint32 auftrag, int status)
{
    beginne(status ? QStringLiteral("st.process(%1, %2);").arg(auftrag).arg(status)
                   : QStringLiteral("st.process(%1);").arg(auftrag));
    _server.verarbeiten(auftrag, status);
    ende();
}

void SimStation::fehlschlag(const SimServer::Anfrage &anfrage, int status)
{
    // The server client reports the failure to the flow before its box opens.
    if (anfrage.art == SimServer::Abruf)
        _fluss.abrufFehlgeschlagen(anfrage.auftrag);
    else
        _fluss.uebermittlungFehlgeschlagen(anfrage.auftrag);
    QString box = SimServer::fehlertext(anfrage.art, status);
    const QString nachsatz = _fluss.nimmNachsatz();
    if (!nachsatz.isEmpty())
        box += QLatin1Char('\n') + nachsatz;
    _fehler << box;
    notiere(QStringLiteral("Fehler: ") + box);
}

void SimStation::deliver(quint32 auftrag)
{
    beginne(QStringLiteral("st.deliver(%1);").arg(auftrag));
    const SimServer::Anfrage a = _server.nehmen(auftrag);
    _zustellung = auftrag;
    if (a.status != 0) {
        fehlschlag(a, a.status);
    } else if (a.art == SimServer::Abruf) {
        _antwort = a.antwort;
        _fluss.scheibeErhalten(auftrag, a.antwort);
    } else {
        _fluss.uebermittlungOk(auftrag);
    }
    _zustellung = 0;
    ende();
}

void SimStation::timeout(quint32 auftrag)
{
    beginne(QStringLiteral("st.timeout(%1);").arg(auftrag));
    const SimServer::Anfrage a = _server.nehmen(auftrag);
    _zustellung = auftrag;
    fehlschlag(a, 0);
    _zustellung = 0;
    ende();
}

// --- the flow's calls outward ---

quint32 SimStation::abrufen(quint32 nummer)
{
    const quint32 auftrag = _server.abrufen(nummer);
    notiere(QStringLiteral("GET #%1").arg(auftrag));
    return auftrag;
}

quint32 SimStation::uebermitteln(quint32 scheibenId, const ServiceProvider::Treffer *treffer, quint32 zahl)
{
    const quint32 auftrag = _server.uebermitteln(scheibenId, treffer, zahl, _fluss.karteNr());
    const bool automatisch = !_speichernGedrueckt && !std::exchange(_nachzureichen, false);
    notiere(QStringLiteral("POST #%1%2").arg(auftrag).arg(automatisch ? " auto" : ""));
    emit uebermittelt(auftrag, automatisch);
    return auftrag;
}

bool SimStation::einstellen(const Kartenfluss::Einstellung &e)
{
    const bool ok = _maschine.setEinstellungen(e.waffe, e.scheibe, e.serie, MaschineRm3::Teilerfaktor(2),
                                               e.anzahl, QString());
    notiere(ok ? QStringLiteral("link set up") : QStringLiteral("link not ready"));
    return ok;
}

void SimStation::karteBeenden()
{
    _maschine.karteBeenden();
}

void SimStation::schuesseVergessen()
{
    _puffer.clear();
    _eintraege.clear();
}

void SimStation::wiederholen()
{
    _wiederholt = 0;
    _puffer.wiederholen();
    _wiederholt = -1;
}
