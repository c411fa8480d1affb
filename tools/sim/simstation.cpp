#include "simstation.h"

#include "targets/geometrie.h"

#include <cstring>

namespace {

// The cards on the server: new ones of every shape the flow knows, one
// evaluated with hits, one evaluated without a valid hit, one the flow
// refuses for its length. 9999 is unknown.
struct Muster
{
    quint32 nummer;
    qint32 waffenTyp;
    qint32 schuss;
    double teilerFaktor;
};
constexpr Muster Karten[] = {
    { 1001, 1, 3, 1.0 }, { 1002, 2, 2, 2.5 }, { 1003, 1, 5, 1.0 }, { 1004, 1, 10, 1.0 }, { 1005, 1, 1, 1.0 },
    { 1006, 2, 3, 1.0 }, { 2001, 1, 3, 1.0 }, { 2002, 1, 2, 1.0 }, { 3011, 1, 11, 1.0 },
};

ServiceProvider::Treffer treffer(double x, double y, double ringe, double teiler)
{
    return { x, y, ringe, teiler };
}

} // namespace

SimStation::SimStation()
    : _fluss(*this)
{
    quint32 id = 501;
    for (const Muster &m : Karten) {
        SimServer::Karte k;
        k.id = id++;
        k.nummer = m.nummer;
        k.waffenTyp = m.waffenTyp;
        k.schuss = m.schuss;
        k.teilerFaktor = m.teilerFaktor;
        if (m.nummer == 2001)
            k.treffer = { treffer(1.0, 0.0, 10.4, 25.0), treffer(0.0, 2.0, 9.8, 50.0), {} };
        if (m.nummer == 2002)
            k.treffer = { {}, {} };
        k.ausgewertet = !k.treffer.isEmpty();
        _server.anlegen(k);
    }

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
    connect(&_maschine, &MaschineRm3::verbindungsFehler, this, [this](const QString &text) {
        _fehler << text;
        notiere(QStringLiteral("Fehler: ") + text);
    });
    // Every reset of the link drops the acknowledgement it owed.
    connect(&_maschine, &MaschineRm3::schussTimeout, this, [this] { _zweifelhaft = false; });
    connect(&_maschine, &MaschineRm3::zustandGeaendert, this, [this] { _zweifelhaft = false; });

    // The grid.
    connect(&_fluss, &Kartenfluss::karteGezeigt, this, [this] {
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
        notiere(QStringLiteral("committed"));
    });
    connect(&_fluss, &Kartenfluss::zieleGeleert, this, [this] {
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
        e.gezeigt = e.gezeigt || !z.wiederholt;
    }
}

// --- the officer ---

void SimStation::entry(quint32 nummer)
{
    beginne(QStringLiteral("st.entry(%1);").arg(nummer));
    _puffer.clear();
    _eintraege.clear();
    // The card in the reader is taken out for the new one, unless the
    // officer cancelled it and left the machine to read it to its end.
    if (!_leserAbgebrochen && (!streng() || _gelesen.value(_leser) == 0))
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
        const auto antwort
            = _fluss.taste(i < ziffern.size() ? Kartenfluss::Taste::Ziffer : Kartenfluss::Taste::Eingabe);
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
    _fluss.speichern();
    _speichernGedrueckt = false;
    ende();
}

void SimStation::cancel()
{
    beginne(QStringLiteral("st.cancel();"));
    if (_fluss.hatKarte() && _leser == _fluss.nummer())
        _leserAbgebrochen = true;
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
    notiere(QStringLiteral("POST #%1%2").arg(auftrag).arg(_speichernGedrueckt ? "" : " auto"));
    emit uebermittelt(auftrag, !_speichernGedrueckt);
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

void SimStation::wiederholen()
{
    _wiederholt = 0;
    _puffer.wiederholen();
    _wiederholt = -1;
}

// --- schedules ---

QList<SimStation::Ereignis> SimStation::moeglich(const QList<quint32> &nummern) const
{
    using E = Ereignis;
    QList<E> m;
    if (frei()) {
        for (const quint32 n : nummern)
            m << E { _fluss.eingabeGesperrt() ? E::Scan : E::Entry, n };
        if (_fluss.speichernAn())
            m << E { E::Save };
        if (_fluss.abbrechenAn())
            m << E { E::Cancel };
        for (quint32 i = 0; _fluss.hatKarte() && i < _fluss.schussProScheibe(); ++i) {
            for (int k = _ziele[i].entsperrt ? Place : Unlock; k <= Void; ++k)
                m << E { E::Hand, i, k };
        }
        m << E { E::Logoff };
    }
    if (_fluss.aktiv() && _fluss.offeneFrage() != 0 && !_verwerfen)
        m << E { E::Answer, 0, 1 } << E { E::Answer, 0, 0 };
    if (_verwerfen)
        m << E { E::Discard, 0, 1 } << E { E::Discard, 0, 0 };
    if (!_fluss.aktiv() && !_verwerfen)
        m << E { E::Login };
    const SimServer::Karte *karte = _server.karte(_eingabe);
    const bool erwartet = _fluss.abruf() != 0 || (_fluss.hatKarte() && _fluss.nummer() == _eingabe);
    if (karte && karte->schuss <= int(Kartenfluss::MaxSchuss) && erwartet
        && (_leser != _eingabe || _leserAbgebrochen))
        m << E { E::Insert };
    const SimServer::Karte *gelesen = _server.karte(_leser);
    if (gelesen && _gelesen.value(_leser) < quint32(gelesen->schuss))
        m << E { E::Shot, 0, Clean } << E { E::Shot, 0, Doubtful } << E { E::Shot, 0, Invalid };
    m << E { E::Line, 0, 0 } << E { E::Line, 0, 1 } << E { E::Broken } << E { E::Pause } << E { E::Silence }
      << E { E::Replug };
    if (_maschine.zustand() == MaschineRm3::Verbindungsaufbau)
        m << E { E::Hello };
    QList<quint32> vorher; // cards with a submission not yet processed
    for (const SimServer::Anfrage &a : _server.offen()) {
        if (a.verarbeitet) {
            m << E { E::Deliver, a.auftrag };
        } else if (!streng()
                   && vorher.contains(a.art == SimServer::Abruf && _server.karte(a.nummer)
                                          ? _server.karte(a.nummer)->id
                                          : a.id)) {
            // handled after the card's earlier submission
        } else {
            for (const int status : { 0, 401, 404, 500 })
                m << E { E::Process, a.auftrag, status };
        }
        if (!a.verarbeitet && a.art == SimServer::Uebermittlung)
            vorher << a.id;
        m << E { E::Timeout, a.auftrag };
    }
    return m;
}

void SimStation::ausfuehren(const Ereignis &e)
{
    switch (e.art) {
    case Ereignis::Entry:
        return entry(e.a);
    case Ereignis::Scan:
        return scan(e.a);
    case Ereignis::Save:
        return save();
    case Ereignis::Cancel:
        return cancel();
    case Ereignis::Answer:
        return answer(e.b);
    case Ereignis::Hand:
        return hand(e.a, HandKind(e.b));
    case Ereignis::Logoff:
        return logoff();
    case Ereignis::Discard:
        return discard(e.b);
    case Ereignis::Login:
        return login();
    case Ereignis::Insert:
        return insert();
    case Ereignis::Shot:
        return shot(ShotKind(e.b));
    case Ereignis::Line:
        return line(e.b ? "ENDE" : "SCHEIBE");
    case Ereignis::Broken:
        return broken();
    case Ereignis::Pause:
        return pause();
    case Ereignis::Silence:
        return silence();
    case Ereignis::Replug:
        return replug();
    case Ereignis::Hello:
        return hello();
    case Ereignis::Process:
        return process(e.a, e.b);
    case Ereignis::Deliver:
        return deliver(e.a);
    case Ereignis::Timeout:
        return timeout(e.a);
    }
}

bool SimStation::streng()
{
    static const bool streng = qEnvironmentVariableIntValue("KOVRIT_SIM_STRICT") != 0;
    return streng;
}

// --- pruning ---

void SimStation::mische(quint64 &h, quint64 wert)
{
    h = (h ^ wert) * 0x100000001b3ULL;
    h ^= h >> 29;
}

void SimStation::mische(quint64 &h, double wert)
{
    quint64 bits;
    std::memcpy(&bits, &wert, sizeof bits);
    mische(h, bits);
}

quint64 SimStation::hash() const
{
    quint64 h = 0xcbf29ce484222325ULL;
    const Kartenfluss &f = _fluss;
    const auto treffer = [&h](const ServiceProvider::Treffer &t) {
        mische(h, t.x);
        mische(h, t.y);
        mische(h, t.ringe);
        mische(h, t.teiler);
    };
    mische(h,
           quint64(f.aktiv()) | quint64(f.speichernAn()) << 1 | quint64(f.abbrechenAn()) << 2
               | quint64(f.gespeichertGemeldet()) << 3 | quint64(f.einstellungOffen()) << 4
               | quint64(_verwerfen) << 5 | quint64(_zweifelhaft) << 6 | quint64(_maschine.istBereit()) << 7
               | quint64(_leserAbgebrochen) << 8 | quint64(f.autoSpeichern()) << 12
               | quint64(f.eingabe()) << 16);
    for (const quint64 v :
         { quint64(f.scheibenId()), quint64(f.nummer()), quint64(f.schussProScheibe()),
           quint64(f.offeneFrage()), quint64(f.abruf()), quint64(f.ignoriert()), quint64(f.letzter() + 1),
           quint64(qHash(f.meldung())), quint64(_eingabe), quint64(_eingabeAuftrag), quint64(_leser) })
        mische(h, v);
    mische(h, f.teilerFaktor());
    mische(h, f.summen().serieZehntel);
    for (quint32 i = 0; i < f.schussProScheibe() && i < Kartenfluss::MaxSchuss; ++i) {
        treffer(f.treffer(i));
        treffer(f.gespeichert(i));
        const Ziel &z = _ziele[i];
        mische(h,
               quint64(z.quelle) | quint64(z.wiederholt) << 4 | quint64(z.gezeigt) << 5
                   | quint64(z.entsperrt) << 6 | quint64(z.herkunft.streuner) << 7 | quint64(z.gehalten) << 3
                   | quint64(z.herkunft.position) << 8 | quint64(z.herkunft.karte) << 16);
    }
    if (f.offeneFrage() != 0) {
        mische(h, quint64(_frage.id));
        for (const ServiceProvider::Treffer &t : _frage.treffer)
            treffer(t);
    }
    for (const SimServer::Karte &k : _server.karten()) {
        mische(h,
               quint64(k.ausgewertet) | quint64(k.gespeichertVon == f.karteNr()) << 1
                   | quint64(k.gespeichertVon == 0) << 2 | quint64(k.treffer.size()) << 8);
        for (const ServiceProvider::Treffer &t : k.treffer)
            treffer(t);
    }
    for (const SimServer::Anfrage &a : _server.offen()) {
        mische(h,
               quint64(a.auftrag) | quint64(a.art) << 32 | quint64(a.verarbeitet) << 33
                   | quint64(a.karte == f.karteNr()) << 34 | quint64(a.status) << 40);
        mische(h, quint64(a.nummer) << 32 | a.id);
        for (const ServiceProvider::Treffer &t : a.treffer)
            treffer(t);
        for (const ServiceProvider::Treffer &t : a.antwort.treffer)
            treffer(t);
    }
    for (auto it = _server.letzteUebermittlungen().cbegin(); it != _server.letzteUebermittlungen().cend();
         ++it)
        mische(h, quint64(it.key()) << 32 | it.value());
    // The link and the clock: each running alarm by how long it has run.
    const MaschineRm3 &m = _maschine;
    const qint64 jetzt = _uhr.ms();
    mische(h,
           quint64(m.zustand()) | quint64(m.schussSoll()) << 8 | quint64(m.schusszahl()) << 16
               | quint64(m.zeilenLaenge()) << 24);
    mische(h, quint64(jetzt));
    if (m.schusszahl() > 0 && m.schusszahl() < m.schussSoll())
        mische(h, quint64(jetzt - _letzterSchuss));
    if (jetzt - _quittungSeit < 1000)
        mische(h, quint64(jetzt - _quittungSeit));
    if (m.zustand() == MaschineRm3::Verbindungsaufbau)
        mische(h, quint64(jetzt - _verbindenSeit));
    for (auto it = _gelesen.cbegin(); it != _gelesen.cend(); ++it)
        mische(h, quint64(it.key()) << 32 | it.value());
    for (const SchussBuffer::Eintrag &e : _puffer.eintraege()) {
        mische(h, quint64(e.nummer) | quint64(e.valid) << 32 | quint64(e.zweifelhaft) << 33);
        mische(h, e.ringe);
        mische(h, e.x);
        mische(h, e.y);
    }
    for (const Eintrag &e : _eintraege)
        mische(h,
               quint64(e.herkunft.karte) << 32 | e.herkunft.position << 2 | e.herkunft.streuner << 1
                   | quint64(e.gezeigt));
    return h;
}
