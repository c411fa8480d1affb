#include "app/kartenfluss.h"

#include "targets/geometrie.h"

#include <QDebug>

#include <algorithm>

class Kartenfluss::Laden
{
public:
    explicit Laden(Kartenfluss *fluss)
        : _fluss(fluss)
        , _vorher(fluss->laedt())
    { }
    ~Laden()
    {
        if (_fluss->laedt() != _vorher)
            emit _fluss->ladenGeaendert(!_vorher);
    }
    Laden(const Laden &) = delete;
    Laden &operator=(const Laden &) = delete;

private:
    Kartenfluss *_fluss;
    bool _vorher;
};

Kartenfluss::Kartenfluss(Anschluss &anschluss, QObject *parent)
    : QObject(parent)
    , _anschluss(anschluss)
{ }

void Kartenfluss::angemeldet()
{
    const Laden laden(this);
    _aktiv = true;
    resetKarte();
    _abruf = 0;
    ringeInDenVerlauf();
    setEingabe(Eingabe::Gewaehlt);
    emit maschineGeaendert();
}

void Kartenfluss::abgemeldet()
{
    const Laden laden(this);
    // Replies to entries made before the logoff have no card to go to.
    zieheFrageZurueck();
    if (_aktiv)
        beenden();
    _aktiv = false;
    _abruf = 0;
    _einstellungOffen = false;
    _scan.clear();
    setNaechste(0);
    _verlauf.leeren();
    emit maschineGeaendert();
}

void Kartenfluss::resetKarte()
{
    ++_karte;
    _k = Karte();
    _autoSpeichern = AutoSpeichern::Aus;
    _einstellungOffen = false;
    _speichernAn = false;
    _abbrechenAn = false;
    _letzter = -1;
    _meldung.clear();
    _gespeichertGemeldet = false;
    _beansprucht = false;
    _nachreichen = Nachreichen::Nein;
    _versatz = 0;
    _schuesse = 0;
    _fertig = false;
}

void Kartenfluss::nummerEingegeben(quint32 nummer, quint32 auftrag)
{
    const Laden laden(this);
    if (!_aktiv)
        return;
    zieheFrageZurueck();
    _abruf = auftrag;
    _abrufNummer = nummer;
    _beansprucht = false;
    _nachfrage = 0;
    if (_autoSpeichern == AutoSpeichern::Scharf)
        _autoSpeichern = AutoSpeichern::Gehalten;
}

void Kartenfluss::freigeben()
{
    if (_autoSpeichern == AutoSpeichern::Gehalten) {
        _autoSpeichern = AutoSpeichern::Scharf;
    } else if (_autoSpeichern == AutoSpeichern::Faellig) {
        // The card filled up while its submission was held: the officer
        // decides, as the shots may have been meant for the other number.
        _autoSpeichern = AutoSpeichern::Scharf;
        _speichernAn = _abbrechenAn = true;
        emit entscheidungNoetig();
    }
}

void Kartenfluss::abrufFehlgeschlagen(quint32 auftrag)
{
    const Laden laden(this);
    // A failed fetch changes nothing about the card on screen; only the
    // failure of the latest entry ends the hold on its submission.
    if (!_aktiv || auftrag == 0 || auftrag != _abruf)
        return;
    _abruf = 0;
    freigeben();
}

void Kartenfluss::scheibeErhalten(quint32 auftrag, const ServiceProvider::Scheibe &scheibe)
{
    const Laden laden(this);
    if (!_aktiv)
        return;
    // Only the reply to the latest entry counts: an earlier one that took
    // longer would put another card under the number in the input.
    if (auftrag == 0 || auftrag != _abruf) {
        qInfo().noquote() << QStringLiteral(
                                 "Kartenfluss::scheibeErhalten: reply for card id %1 to an earlier "
                                 "entry dropped")
                                 .arg(scheibe.id);
        return;
    }

    // Hits of this card went out, or were stored, after this reply was asked
    // for, so it may not show them: ask again rather than offer the card as
    // unevaluated.
    if (_uebermittlungen.letzte(scheibe.id) > auftrag
        || _uebermittlungen.beantwortetWaehrend(scheibe.id) == auftrag) {
        _abruf = _anschluss.abrufen(_abrufNummer);
        if (_abruf == 0)
            freigeben();
        return;
    }
    // The server may have read this before it stored hits sent to the card
    // earlier and not yet confirmed: asked again once they are answered.
    if (_uebermittlungen.unterwegsZu(scheibe.id)) {
        _nachfrage = scheibe.id;
        return;
    }

    // The hit array and the grid hold at most ten positions; a longer card
    // would arm the machine for shots that could never be shown or stored.
    if (scheibe.schussProScheibe < 0 || quint32(scheibe.schussProScheibe) > MaxSchuss) {
        _abruf = 0;
        const QString text = tr("Scheibe mit %1 Schuss wird nicht unterstützt (höchstens 10)!")
                                 .arg(scheibe.schussProScheibe);
        if (_k.ungespeichert()) {
            // The card on screen keeps its hits and every rule it had.
            freigeben();
            _nachsatz = tr("Scheibe %1 bleibt mit ihren nicht gespeicherten Treffern stehen.").arg(_k.nummer);
            emit fehler(text);
            return;
        }
        beenden();
        _verlauf.setAktuell(0);
        resetKarte();
        ringeInDenVerlauf();
        setEingabe(Eingabe::Geleert);
        emit karteGezeigt();
        emit summenGeaendert();
        emit maschineGeaendert();
        emit fehler(text);
        return;
    }

    // The officer worked on the card on screen while this reply was on its
    // way: its hits are not replaced unseen.
    if (_beansprucht && _k.ungespeichert()) {
        _abruf = 0;
        freigeben();
        emit fehler(tr("Scheibe %1 wird nicht übernommen: Scheibe %2 hat nicht gespeicherte Treffer. Bitte "
                       "erst speichern oder abbrechen.")
                        .arg(_abrufNummer)
                        .arg(_k.nummer));
        return;
    }

    // Stored results are not overwritten without the officer's word. The
    // submission of the card on screen stays held while the question is open.
    const auto gueltig = std::count_if(scheibe.treffer.cbegin(), scheibe.treffer.cend(),
                                       [](const ServiceProvider::Treffer &t) { return t.valid(); });
    if (gueltig > 0) {
        _frage = { auftrag, scheibe };
        emit frageNeuAuswerten(auftrag,
                               tr("Scheibe %1 von %2 ist bereits ausgewertet (%3 Treffer, %4 Ringe, %5). "
                                  "Neu auswerten?")
                                   .arg(_abrufNummer)
                                   .arg(scheibe.schuetze)
                                   .arg(gueltig)
                                   .arg(scheibe.ringe)
                                   .arg(scheibe.wertungsdatum));
        return;
    }
    _abruf = 0;
    nimmKarte(scheibe);
}

void Kartenfluss::neuAuswertenBeantwortet(quint32 auftrag, bool ja)
{
    const Laden laden(this);
    if (auftrag == 0 || auftrag != _frage.auftrag)
        return;
    const ServiceProvider::Scheibe scheibe = std::exchange(_frage, {}).scheibe;
    if (!_aktiv || auftrag != _abruf)
        return;
    _abruf = 0;
    if (ja) {
        nimmKarte(scheibe);
        return;
    }
    // The card on screen keeps every rule it had: hits the server does not
    // hold keep its input locked.
    freigeben();
    if (!_k.ungespeichert())
        setEingabe(Eingabe::Gewaehlt);
}

void Kartenfluss::zieheFrageZurueck()
{
    if (_frage.auftrag == 0)
        return;
    const quint32 auftrag = std::exchange(_frage, {}).auftrag;
    emit frageZurueckgezogen(auftrag);
}

void Kartenfluss::nimmKarte(const ServiceProvider::Scheibe &scheibe)
{
    // The card replaced is done: the rest of its shot lines must not count
    // for this one while its settings line waits for the link. Shots held
    // for this card are replayed below, unless the officer took them for
    // the card replaced by saving it.
    if (hatKarte())
        _anschluss.karteBeenden();
    if (_beansprucht)
        _anschluss.schuesseVergessen();
    resetKarte();
    _k = Karte(scheibe, _abrufNummer);
    _autoSpeichern = AutoSpeichern::Scharf;
    const quint32 gespeichert = std::min(quint32(scheibe.treffer.size()), _k.schussProScheibe);
    _verlauf.neu(_karte, _k.nummer, scheibe.schuetze);
    _verlauf.setAktuell(_karte);
    _einstellung = _k.einstellung();
    _einstellungOffen = true;
    ringeInDenVerlauf();

    emit karteGezeigt();
    for (quint32 i = 0; i < gespeichert; ++i) {
        const ServiceProvider::Treffer &t = _k.treffer[i];
        if (t.valid())
            emit zielGesetzt(i, t.x, t.y, Geometrie::ringeText(t.ringe),
                             t.ringe > 0 ? Geometrie::teilerText(t.teiler) : QString(), false);
        else
            emit zielLeer(i);
    }
    emit summenGeaendert();
    emit meldungGeaendert(_meldung, false);
    sendeEinstellung();

    // Shots the machine evaluated while the card was being fetched land on
    // the new card now; the buffer keeps them.
    _wiederholung = true;
    _anschluss.wiederholen();
    _wiederholung = false;
}

void Kartenfluss::ringeInDenVerlauf()
{
    const Summen s = _k.summen();
    _verlauf.setRinge(_karte, s.ringe, s.zehntel);
}

void Kartenfluss::setEingabe(Eingabe eingabe)
{
    if (eingabe == Eingabe::Gesperrt && _eingabe == Eingabe::Gesperrt)
        return;
    _eingabe = eingabe;
    emit eingabeGeaendert(eingabe);
}

void Kartenfluss::setMeldung(const QString &text, bool gespeichert)
{
    _meldung = text;
    _gespeichertGemeldet = gespeichert;
    emit meldungGeaendert(text, gespeichert);
}

void Kartenfluss::vonHand(quint32 i, Hand hand, const ServiceProvider::Treffer &treffer)
{
    if (!_aktiv)
        return;
    // Unlocking alone keeps the machine's values; only a shot placed or
    // voided by hand replaces them.
    if (i < _k.schussProScheibe && hand != Hand::Entsperrt) {
        _beansprucht = _beansprucht || _abruf != 0;
        _letzter = int(i);
        _k.vermerk[i] = hand == Hand::Gesetzt ? tr("von Hand gesetzt") : tr("von Hand entwertet");
        if (hand == Hand::Gesetzt)
            _k.treffer[i] = treffer;
        else
            _k.treffer[i].clear();
    }
    // The grid turns both buttons on with every click on a target.
    _speichernAn = _abbrechenAn = true;
    _autoSpeichern = AutoSpeichern::Aus;
    ringeInDenVerlauf();
    if (hand != Hand::Entsperrt) {
        // "nicht gespeichert" after "gespeichert" says more than the reason.
        const bool warGespeichert = _gespeichertGemeldet;
        veraendert();
        if (!warGespeichert)
            setMeldung(warum());
    }
    setEingabe(Eingabe::Gesperrt);
    emit summenGeaendert();
}

void Kartenfluss::speichern()
{
    if (!_aktiv || _k.schussProScheibe == 0)
        return;
    _beansprucht = _beansprucht || _abruf != 0;
    uebermitteln(true);
}

void Kartenfluss::beantwortet(quint32 id)
{
    _uebermittlungen.beantwortet(id, _abruf);
    if (_nachfrage == 0 || _nachfrage != id || _uebermittlungen.unterwegsZu(id) || _abruf == 0)
        return;
    _nachfrage = 0;
    _abruf = _anschluss.abrufen(_abrufNummer);
    if (_abruf == 0)
        freigeben();
}

bool Kartenfluss::nachreichen()
{
    const Nachreichen n = std::exchange(_nachreichen, Nachreichen::Nein);
    return n == Nachreichen::Offizier
        || (n == Nachreichen::Automatisch && _autoSpeichern == AutoSpeichern::Scharf);
}

void Kartenfluss::uebermitteln(bool offizier)
{
    if (_uebermittlungen.unterwegsZu(_k.scheibenId)) {
        if (_nachreichen != Nachreichen::Offizier)
            _nachreichen = offizier ? Nachreichen::Offizier : Nachreichen::Automatisch;
        _verlauf.setZustand(_karte, Verlauf::WirdGespeichert);
        setMeldung(Verlauf::zustandText(Verlauf::WirdGespeichert));
        return;
    }
    const quint32 auftrag = _anschluss.uebermitteln(_k.scheibenId, _k.treffer, _k.schussProScheibe);
    if (auftrag == 0)
        return;
    _uebermittlungen.neu({ auftrag, _k.scheibenId, _karte, _k.nummer,
                           QList<ServiceProvider::Treffer>(_k.treffer, _k.treffer + _k.schussProScheibe) });
    _verlauf.setZustand(_karte, Verlauf::WirdGespeichert);
    setMeldung(Verlauf::zustandText(Verlauf::WirdGespeichert));
}

void Kartenfluss::uebermittlungOk(quint32 auftrag)
{
    const Laden laden(this);
    Uebermittlungen::Uebermittlung u;
    if (!_aktiv || !_uebermittlungen.nimm(auftrag, &u))
        return;
    beantwortet(u.id);
    // A later submission of the card went out: whatever the server holds
    // now, this confirmation does not tell.
    if (_uebermittlungen.letzte(u.id) > auftrag) {
        qInfo().noquote() << "Kartenfluss::uebermittlungOk: older than the latest submission:" << auftrag;
        return;
    }
    _verlauf.setZustand(u.karte, Verlauf::Gespeichert);
    if (u.karte != _karte) {
        // Stored, but the card has left the screen: nothing here is its.
        qInfo().noquote() << QStringLiteral("Kartenfluss::uebermittlungOk: card %1 stored after it left the "
                                            "screen")
                                 .arg(u.nummer);
        return;
    }
    const bool unveraendert = _k.haelt(u.treffer);
    if (nachreichen() && !unveraendert) {
        uebermitteln(true);
        return;
    }
    for (quint32 i = 0; i < _k.schussProScheibe; ++i)
        _k.gespeichert[i] = u.treffer.at(i);
    _autoSpeichern = AutoSpeichern::Aus;
    if (!unveraendert) {
        // Corrected while the submission was on its way: the server holds
        // the old values, so the card stays open for "Speichern".
        qInfo().noquote() << "Kartenfluss::uebermittlungOk: hits changed since they were sent, not committed";
        _speichernAn = _abbrechenAn = true;
        _verlauf.setZustand(_karte, Verlauf::NichtGespeichert);
        setEingabe(Eingabe::Gesperrt);
        emit entscheidungNoetig();
        setMeldung(Verlauf::zustandText(Verlauf::NichtGespeichert));
        return;
    }
    _speichernAn = _abbrechenAn = false;
    beenden();
    emit zieleFestgeschrieben();
    setEingabe(Eingabe::Gewaehlt);
    setMeldung(tr("Scheibe %1 gespeichert (%2 Ringe)").arg(_k.nummer).arg(_k.summen().ringe), true);
    naechsteEinlesen();
}

void Kartenfluss::uebermittlungFehlgeschlagen(quint32 auftrag)
{
    const Laden laden(this);
    Uebermittlungen::Uebermittlung u;
    if (!_uebermittlungen.nimm(auftrag, &u))
        return;
    beantwortet(u.id);
    if (_aktiv && u.karte == _karte && nachreichen()) {
        uebermitteln(true);
        return;
    }
    _verlauf.setZustand(u.karte, Verlauf::Fehlgeschlagen);
    if (!_aktiv || u.karte != _karte) {
        // The card is gone from the screen; the box has to say which one
        // must be read again.
        _nachsatz = tr("Scheibe %1 bitte erneut auswerten.").arg(u.nummer);
        return;
    }
    // Slots, targets and totals stay; the officer just presses "Speichern"
    // again once the server is back.
    if (_k.schussProScheibe != 0) {
        _speichernAn = _abbrechenAn = true;
        emit entscheidungNoetig();
    }
    setMeldung(Verlauf::zustandText(Verlauf::Fehlgeschlagen));
}

// "gespeichert" must never stand beside hits the server does not hold.
void Kartenfluss::veraendert()
{
    if (!_gespeichertGemeldet || !_k.ungespeichert())
        return;
    _verlauf.setZustand(_karte, Verlauf::NichtGespeichert);
    setMeldung(Verlauf::zustandText(Verlauf::NichtGespeichert));
}

void Kartenfluss::beenden()
{
    _fertig = true;
    _einstellungOffen = false;
    _anschluss.karteBeenden();
    _anschluss.schuesseVergessen();
    emit maschineGeaendert();
}

QString Kartenfluss::nimmNachsatz()
{
    return std::exchange(_nachsatz, QString());
}

void Kartenfluss::abbrechen()
{
    if (!_aktiv)
        return;
    if (_verlauf.zustandVon(_karte) == Verlauf::NichtGespeichert
        || _verlauf.zustandVon(_karte) == Verlauf::Fehlgeschlagen)
        _verlauf.setZustand(_karte, Verlauf::Abgebrochen);
    _verlauf.setAktuell(0);
    // The machine reads the rest of the cancelled card all the same; those
    // shots, and the ones the card showed, must not land on the next one.
    beenden();
    const quint32 nummer = _k.nummer;
    resetKarte();
    ringeInDenVerlauf();
    // Until the next card a line says what became of this one.
    if (nummer != 0)
        setMeldung(tr("Scheibe %1 abgebrochen – Karte erneut einlesen").arg(nummer));
    else
        emit meldungGeaendert(_meldung, false);
    setEingabe(Eingabe::Geleert);
    emit zieleGeleert();
    emit summenGeaendert();
    emit maschineGeaendert();
    naechsteEinlesen();
}
