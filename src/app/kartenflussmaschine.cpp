#include "app/kartenfluss.h"

#include "targets/geometrie.h"

#include <QDebug>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// What the machine can measure. A value beyond it comes from a faulty
// machine or cable: rings of 999999 are no rings, and a hit off every face
// has no place a target could show. Such a shot is taken as invalid, so the
// officer places it by hand or saves it empty; nothing of it is summed.
bool imMessbereich(double ringe, double x, double y)
{
    return ringe >= 0.0 && ringe <= 10.9 && std::fabs(x) <= Geometrie::Feldgrenze
        && std::fabs(y) <= Geometrie::Feldgrenze;
}

// The Teiler of a hit on the face; a larger one is left out and the shot
// marked doubtful.
bool teilerImMessbereich(double teiler, int waffenTyp, double teilerFaktor)
{
    const double ringbreite
        = waffenTyp == 2 ? Geometrie::RingbreiteLuftpistole : Geometrie::RingbreiteLuftgewehr;
    return teiler >= 0.0 && teiler <= 2.0 * Geometrie::Feldgrenze * ringbreite * std::max(1.0, teilerFaktor);
}

} // namespace

// The flow's side towards the machine link (settings lines, shots, time-outs,
// a link that starts afresh) and the keyboard.

// A card shown while the machine is not connected, or while it still wants
// the acknowledgement of a doubtful shot, gets its settings line as soon as
// the link can take it; otherwise its shots would be dropped by the link.
void Kartenfluss::sendeEinstellung()
{
    if (_einstellungOffen) {
        _einstellungOffen = false;
        if (_anschluss.einstellen(_einstellung))
            _ignoriert = 0;
        else
            _einstellungOffen = true;
    }
    emit maschineGeaendert();
}

void Kartenfluss::maschineBereit()
{
    if (_aktiv)
        sendeEinstellung();
}

void Kartenfluss::maschinenZustand(int zustand)
{
    if (zustand == MaschineRm3::Verbunden || !hatKarte() || _einstellungOffen || _fertig
        || _schuesse >= _k.schussProScheibe)
        return;
    // The link forgot the card: it gets its settings line again once the
    // link is ready. Single targets are asked for from the first missing
    // one on; a card of five or ten is read again as a whole, and the shots
    // taken stay until the machine reports their positions anew.
    _einstellung = _k.einstellung();
    _versatz = 0;
    if (_einstellung.scheibe == MaschineRm3::Einzel) {
        _versatz = _schuesse;
        _einstellung.anzahl = _k.schussProScheibe - _schuesse;
    }
    _einstellungOffen = true;
    qInfo().noquote() << QStringLiteral("Kartenfluss::maschinenZustand: card %1 cut after %2 shot(s)")
                             .arg(_k.nummer)
                             .arg(_schuesse);
    if (_schuesse > 0) {
        // Cut mid-way: what arrived can be saved, the rest shows red as
        // after a time-out, and nothing sends itself.
        _autoSpeichern = AutoSpeichern::Aus;
        for (quint32 i = _schuesse; i < _k.schussProScheibe; ++i) {
            if (_k.treffer[i].valid())
                continue;
            _k.vermerk[i] = tr("fehlt (Verbindung unterbrochen)");
            emit zielUngueltig(i);
        }
        _speichernAn = _abbrechenAn = true;
        emit entscheidungNoetig();
        setMeldung(warum());
    }
    emit maschineGeaendert();
}

void Kartenfluss::schuss(quint32 schuss, bool valid, double ringe, double teiler, double x, double y,
                         bool zweifelhaft)
{
    if (!_aktiv)
        return;
    // Read before the card's settings line reached the link: a shot of the
    // card before it.
    if (_einstellungOffen && !_wiederholung) {
        qInfo().noquote() << "Kartenfluss::schuss: shot" << schuss + 1
                          << "before the settings line, not taken";
        ++_ignoriert;
        _verlauf.setIgnoriert(_karte, _ignoriert);
        emit maschineGeaendert();
        return;
    }
    const quint32 nummer = _wiederholung ? schuss : schuss + _versatz;
    if (nummer >= _k.schussProScheibe)
        return;
    if (valid && !imMessbereich(ringe, x, y)) {
        qInfo().noquote() << QStringLiteral("Kartenfluss::schuss: shot %1 beyond the machine's range "
                                            "(rings %2, x %3, y %4), taken as invalid")
                                 .arg(nummer + 1)
                                 .arg(ringe)
                                 .arg(x)
                                 .arg(y);
        valid = false;
    }
    if (valid && teiler != -1.0 && !teilerImMessbereich(teiler, _k.daten.waffenTyp, _k.teilerFaktor)) {
        qInfo().noquote() << QStringLiteral("Kartenfluss::schuss: shot %1 with Teiler %2, left out")
                                 .arg(nummer + 1)
                                 .arg(teiler);
        teiler = -1.0;
        zweifelhaft = true;
    }
    _schuesse = std::max(_schuesse, nummer + 1);

    ServiceProvider::Treffer &slot = _k.treffer[nummer];
    slot.clear();
    QString ringeText;
    QString teilerText;
    if (valid) {
        const double t = teiler / _k.teilerFaktor;
        slot = { x, y, ringe, t };
        // The machine gave rings but no Teiler: show what the target
        // computes from the position; the slot keeps the machine's value.
        const double angezeigt = t < 0 && ringe >= 0
            ? Geometrie::teiler(x, y, Geometrie::teilerAbstand(_k.daten.waffenTyp, _k.teilerFaktor))
            : t;
        ringeText = Geometrie::ringeText(ringe);
        teilerText = ringe > 0 ? Geometrie::teilerText(angezeigt) : QString();
        _k.vermerk[nummer] = zweifelhaft ? tr("zweifelhaft") : QString();
        if (zweifelhaft)
            _speichernAn = true;
    } else {
        _k.vermerk[nummer] = tr("ungültig");
        _speichernAn = true;
    }
    _abbrechenAn = true;
    _letzter = int(nummer);
    ringeInDenVerlauf();

    const bool sauber = valid && !zweifelhaft;
    if (!sauber) {
        _autoSpeichern = AutoSpeichern::Aus;
        setMeldung(warum());
    } else if (nummer + 1 == _k.schussProScheibe && _autoSpeichern == AutoSpeichern::Gehalten) {
        _autoSpeichern = AutoSpeichern::Faellig;
    }

    if (valid)
        emit zielGesetzt(nummer, x, y, ringeText, teilerText, zweifelhaft);
    else
        emit zielUngueltig(nummer);
    setEingabe(Eingabe::Gesperrt);
    emit abbrechenFreigegeben();
    emit summenGeaendert();
    veraendert();
    if (sauber && nummer + 1 == _k.schussProScheibe && _autoSpeichern == AutoSpeichern::Scharf) {
        if (vollstaendig()) {
            uebermitteln(false);
            return;
        }
        // A position the machine never reported: the officer looks first.
        _autoSpeichern = AutoSpeichern::Aus;
        _speichernAn = _abbrechenAn = true;
        emit entscheidungNoetig();
    }
}

bool Kartenfluss::vollstaendig() const
{
    return std::all_of(_k.treffer, _k.treffer + _k.schussProScheibe,
                       [](const ServiceProvider::Treffer &t) { return t.valid(); });
}

void Kartenfluss::schussTimeout(quint32 schusszahl)
{
    // The link's count belongs to the card it was last set up for; a card
    // still waiting for its settings line has not been read at all.
    if (!_aktiv || _einstellungOffen)
        return;
    _fertig = true;
    QList<quint32> fehlend;
    for (quint32 i = schusszahl + _versatz; i < _k.schussProScheibe; ++i) {
        _k.treffer[i].clear();
        _k.vermerk[i] = tr("fehlt (Zeitüberschreitung)");
        _autoSpeichern = AutoSpeichern::Aus;
        _speichernAn = _abbrechenAn = true;
        fehlend << i;
    }
    ringeInDenVerlauf();
    for (quint32 i : fehlend)
        emit zielUngueltig(i);
    if (!fehlend.isEmpty()) {
        setEingabe(Eingabe::Gesperrt);
        setMeldung(warum());
    }
    emit summenGeaendert();
    veraendert();
}

void Kartenfluss::schussIgnoriert(quint32 anzahl)
{
    qInfo().noquote() << QStringLiteral("Kartenfluss::schussIgnoriert: %1 shot line(s) not taken since the "
                                        "last settings line")
                             .arg(anzahl);
    _ignoriert = anzahl;
    if (hatKarte())
        _verlauf.setIgnoriert(_karte, anzahl);
    emit maschineGeaendert();
}

Kartenfluss::TastenAntwort Kartenfluss::taste(Taste taste, QChar zeichen)
{
    // A scan while "Neu auswerten?" is open: its Return would answer "Nein"
    // for the officer. The digits and their Return are dropped, the question
    // stays; a Return on its own answers it.
    if (_frage.auftrag != 0) {
        if (taste == Taste::Ziffer)
            return std::exchange(_scanGesperrt, true) ? TastenAntwort::Verschlucken : TastenAntwort::Hinweis;
        return std::exchange(_scanGesperrt, false) && taste == Taste::Eingabe ? TastenAntwort::Verschlucken
                                                                              : TastenAntwort::Weiter;
    }
    _scanGesperrt = false;
    if (taste == Taste::Escape) {
        if (_naechste != 0 || !_scan.isEmpty()) {
            _scan.clear();
            setNaechste(0);
            return TastenAntwort::Verschlucken;
        }
        // A server that does not answer: the hits stay, "Speichern" tries again.
        if (wartetAuf() != 0)
            return TastenAntwort::NichtMehrWarten;
        return _abbrechenAn ? TastenAntwort::Abbrechen : TastenAntwort::Weiter;
    }
    if (eingabeGesperrt()) {
        // With a scanner the officer holds the next card while this one is
        // read: its number waits until this card is saved or cancelled.
        if (taste == Taste::Ziffer) {
            // A leading "+" marks a trailing check digit, as in the input.
            if ((zeichen != QLatin1Char('+') || _scan.isEmpty()) && _scan.size() < 10)
                _scan += zeichen;
            return TastenAntwort::Verschlucken;
        }
        if (taste == Taste::Eingabe && !_scan.isEmpty()) {
            const QString scan = std::exchange(_scan, QString());
            const quint32 nummer
                = scan.startsWith(QLatin1Char('+')) ? scan.mid(1).toUInt() / 10 : scan.toUInt();
            if (nummer != 0)
                setNaechste(nummer);
            return TastenAntwort::Verschlucken;
        }
        return TastenAntwort::Weiter;
    }
    _scan.clear();
    return taste == Taste::Ziffer ? TastenAntwort::ZurNummer : TastenAntwort::Weiter;
}

void Kartenfluss::setNaechste(quint32 nummer)
{
    if (_naechste == nummer)
        return;
    _naechste = nummer;
    qInfo().noquote() << QStringLiteral("Kartenfluss::setNaechste: %1").arg(nummer);
    emit naechsteGeaendert(nummer);
}

void Kartenfluss::naechsteEinlesen()
{
    const quint32 nummer = _naechste;
    if (nummer == 0)
        return;
    setNaechste(0);
    emit naechsteFaellig(nummer);
}

QString Kartenfluss::warum() const
{
    // The positions by what keeps the card from sending itself.
    const QString gruende[] = { tr("zweifelhaft"), tr("ungültig"), tr("fehlt"), tr("von Hand geändert") };
    QList<quint32> positionen[4];
    for (quint32 i = 0; i < _k.schussProScheibe; ++i) {
        const QString &v = _k.vermerk[i];
        if (v.isEmpty())
            continue;
        const int g = v == gruende[0]      ? 0
            : v == gruende[1]              ? 1
            : v.startsWith(tr("fehlt"))    ? 2
            : v.startsWith(tr("von Hand")) ? 3
                                           : -1;
        if (g >= 0)
            positionen[g] << i + 1;
    }
    QStringList teile;
    for (int g = 0; g < 4; ++g) {
        const QList<quint32> &p = positionen[g];
        if (p.isEmpty())
            continue;
        QStringList zahlen;
        for (quint32 n : p)
            zahlen << QString::number(n);
        const QString letzte = zahlen.takeLast();
        // "Schuss 3 fehlt", "Schuss 3 und 4 fehlen"
        const QString grund = g == 2 && !zahlen.isEmpty() ? tr("fehlen") : gruende[g];
        teile << tr("Schuss %1 %2")
                     .arg(zahlen.isEmpty() ? letzte
                                           : zahlen.join(QStringLiteral(", ")) + tr(" und ") + letzte,
                          grund);
    }
    return teile.isEmpty() ? QString() : teile.join(QStringLiteral("; ")) + tr(" – prüfen, dann Speichern");
}

QString Kartenfluss::maschinenText(int zustand, bool wartet, bool verbindetNeu, const QString &port) const
{
    static const char *const texte[]
        = { QT_TR_NOOP("Maschine: getrennt"), QT_TR_NOOP("Maschine: Verbindungsaufbau..."),
            QT_TR_NOOP("Maschine: verbunden") };
    QString text = tr(texte[zustand >= 0 && zustand <= 2 ? zustand : 0]);
    if (zustand == MaschineRm3::Getrennt && wartet)
        text += tr(" – wartet auf '%1'").arg(port);
    else if (zustand == MaschineRm3::Verbindungsaufbau && verbindetNeu)
        text = tr("Maschine: wird neu verbunden...");
    if (_einstellungOffen && _aktiv) {
        if (zustand == MaschineRm3::Verbunden)
            text = tr("Maschine: wartet auf Quittung");
        else
            text += tr(" – Scheibe %1 wartet auf die Maschine").arg(_k.nummer);
    }
    if (_ignoriert > 0)
        text += tr(" – %1 Schuss nicht übernommen").arg(_ignoriert);
    return text;
}
