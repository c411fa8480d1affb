#include "simwahl.h"

void SimWahl::mische(quint64 &h, quint64 wert)
{
    h = (h ^ wert) * 0x100000001b3ULL;
    h ^= h >> 29;
}

void SimWahl::mische(quint64 &h, double wert)
{
    quint64 bits;
    std::memcpy(&bits, &wert, sizeof bits);
    mische(h, bits);
}

quint64 SimWahl::hash(const SimStation &st)
{
    quint64 h = 0xcbf29ce484222325ULL;
    const Kartenfluss &f = st._fluss;
    const auto treffer = [&h](const ServiceProvider::Treffer &t) {
        mische(h, t.x);
        mische(h, t.y);
        mische(h, t.ringe);
        mische(h, t.teiler);
    };
    mische(h,
           quint64(f.aktiv()) | quint64(f.speichernAn()) << 1 | quint64(f.abbrechenAn()) << 2
               | quint64(f.gespeichertGemeldet()) << 3 | quint64(f.einstellungOffen()) << 4
               | quint64(st._verwerfen) << 5 | quint64(st._zweifelhaft) << 6 | quint64(st._nachzureichen) << 9
               | quint64(st._maschine.istBereit()) << 7 | quint64(st._leserAbgebrochen) << 8
               | quint64(f.autoSpeichern()) << 12 | quint64(f.eingabe()) << 16);
    for (const quint64 v : { quint64(f.scheibenId()), quint64(f.nummer()), quint64(f.schussProScheibe()),
                             quint64(f.offeneFrage()), quint64(f.abruf()), quint64(f.ignoriert()),
                             quint64(f.letzter() + 1), quint64(qHash(f.meldung())), quint64(st._eingabe),
                             quint64(st._eingabeAuftrag), quint64(st._leser) })
        mische(h, v);
    mische(h, f.teilerFaktor());
    mische(h, f.summen().serieZehntel);
    for (quint32 i = 0; i < f.schussProScheibe() && i < Kartenfluss::MaxSchuss; ++i) {
        treffer(f.treffer(i));
        treffer(f.gespeichert(i));
        const SimStation::Ziel &z = st._ziele[i];
        mische(h,
               quint64(z.quelle) | quint64(z.wiederholt) << 4 | quint64(z.gezeigt) << 5
                   | quint64(z.entsperrt) << 6 | quint64(z.herkunft.streuner) << 7 | quint64(z.gehalten) << 3
                   | quint64(z.herkunft.position) << 8 | quint64(z.herkunft.karte) << 16);
    }
    if (f.offeneFrage() != 0) {
        mische(h, quint64(st._frage.id));
        for (const ServiceProvider::Treffer &t : st._frage.treffer)
            treffer(t);
    }
    for (const SimServer::Karte &k : st._server.karten()) {
        mische(h,
               quint64(k.ausgewertet) | quint64(k.gespeichertVon == f.karteNr()) << 1
                   | quint64(k.gespeichertVon == 0) << 2 | quint64(k.treffer.size()) << 8);
        for (const ServiceProvider::Treffer &t : k.treffer)
            treffer(t);
    }
    for (const SimServer::Anfrage &a : st._server.offen()) {
        mische(h,
               quint64(a.auftrag) | quint64(a.art) << 32 | quint64(a.verarbeitet) << 33
                   | quint64(a.karte == f.karteNr()) << 34 | quint64(a.status) << 40);
        mische(h, quint64(a.nummer) << 32 | a.id);
        for (const ServiceProvider::Treffer &t : a.treffer)
            treffer(t);
        for (const ServiceProvider::Treffer &t : a.antwort.treffer)
            treffer(t);
    }
    for (auto it = st._server.letzteUebermittlungen().cbegin();
         it != st._server.letzteUebermittlungen().cend(); ++it)
        mische(h, quint64(it.key()) << 32 | it.value());
    // The link and the clock: each running alarm by how long it has run.
    const MaschineRm3 &m = st._maschine;
    const qint64 jetzt = st._uhr.ms();
    mische(h,
           quint64(m.zustand()) | quint64(m.schussSoll()) << 8 | quint64(m.schusszahl()) << 16
               | quint64(m.zeilenLaenge()) << 24);
    mische(h, quint64(jetzt));
    if (m.schusszahl() > 0 && m.schusszahl() < m.schussSoll())
        mische(h, quint64(jetzt - st._letzterSchuss));
    if (jetzt - st._quittungSeit < 1000)
        mische(h, quint64(jetzt - st._quittungSeit));
    if (m.zustand() == MaschineRm3::Verbindungsaufbau)
        mische(h, quint64(jetzt - st._verbindenSeit));
    for (auto it = st._gelesen.cbegin(); it != st._gelesen.cend(); ++it)
        mische(h, quint64(it.key()) << 32 | it.value());
    for (const SchussBuffer::Eintrag &e : st._puffer.eintraege()) {
        mische(h, quint64(e.nummer) | quint64(e.valid) << 32 | quint64(e.zweifelhaft) << 33);
        mische(h, e.ringe);
        mische(h, e.x);
        mische(h, e.y);
    }
    for (const SimStation::Eintrag &e : st._eintraege)
        mische(h,
               quint64(e.herkunft.karte) << 32 | e.herkunft.position << 2 | e.herkunft.streuner << 1
                   | quint64(e.gezeigt) | quint64(e.gesehen) << 31);
    return h;
}

QList<SimStation::Ereignis> SimWahl::moeglich(const SimStation &st, const QList<quint32> &nummern)
{
    using E = SimStation::Ereignis;
    QList<E> m;
    if (st.frei()) {
        const SimServer::Karte *liest = st._server.karte(st._leser);
        const bool behalten = liest && st._fluss.hatKarte() && st._leser == st._fluss.nummer()
            && st._gelesen.value(st._leser) < quint32(liest->schuss);
        for (const quint32 n : nummern) {
            m << E { st._fluss.eingabeGesperrt() ? E::Scan : E::Entry, n };
            if (behalten && !st._fluss.eingabeGesperrt())
                m << E { E::Entry, n, 1 };
        }
        if (st._fluss.speichernAn())
            m << E { E::Save };
        if (st._fluss.abbrechenAn())
            m << E { E::Cancel };
        for (quint32 i = 0; st._fluss.hatKarte() && i < st._fluss.schussProScheibe(); ++i) {
            for (int k = st._ziele[i].entsperrt ? SimStation::Place : SimStation::Unlock;
                 k <= SimStation::Void; ++k)
                m << E { E::Hand, i, k };
        }
        m << E { E::Logoff };
    }
    if (st._fluss.aktiv() && st._fluss.offeneFrage() != 0 && !st._verwerfen) {
        m << E { E::Answer, 0, 1 } << E { E::Answer, 0, 0 };
        for (const quint32 n : nummern)
            m << E { E::Scan, n };
    }
    if (st._verwerfen)
        m << E { E::Discard, 0, 1 } << E { E::Discard, 0, 0 };
    if (!st._fluss.aktiv() && !st._verwerfen)
        m << E { E::Login };
    const SimServer::Karte *karte = st._server.karte(st._eingabe);
    const bool erwartet
        = st._fluss.abruf() != 0 || (st._fluss.hatKarte() && st._fluss.nummer() == st._eingabe);
    if (karte && karte->schuss <= int(Kartenfluss::MaxSchuss) && erwartet
        && (st._leser != st._eingabe || st._leserAbgebrochen))
        m << E { E::Insert };
    const SimServer::Karte *gelesen = st._server.karte(st._leser);
    if (gelesen && st._gelesen.value(st._leser) < quint32(gelesen->schuss))
        m << E { E::Shot, 0, SimStation::Clean } << E { E::Shot, 0, SimStation::Doubtful }
          << E { E::Shot, 0, SimStation::Invalid };
    m << E { E::Line, 0, 0 } << E { E::Line, 0, 1 } << E { E::Broken } << E { E::Pause } << E { E::Silence }
      << E { E::Replug };
    if (st._maschine.zustand() == MaschineRm3::Verbindungsaufbau)
        m << E { E::Hello };
    // The server handles the requests in any order, as requests on
    // connections of their own may be.
    for (const SimServer::Anfrage &a : st._server.offen()) {
        if (a.verarbeitet) {
            m << E { E::Deliver, a.auftrag };
        } else {
            for (const int status : { 0, 401, 404, 500 })
                m << E { E::Process, a.auftrag, status };
        }
        m << E { E::Timeout, a.auftrag };
    }
    return m;
}

void SimWahl::ausfuehren(SimStation &st, const SimStation::Ereignis &e)
{
    switch (e.art) {
    case SimStation::Ereignis::Entry:
        return st.entry(e.a, e.b);
    case SimStation::Ereignis::Scan:
        return st.scan(e.a);
    case SimStation::Ereignis::Save:
        return st.save();
    case SimStation::Ereignis::Cancel:
        return st.cancel();
    case SimStation::Ereignis::Answer:
        return st.answer(e.b);
    case SimStation::Ereignis::Hand:
        return st.hand(e.a, SimStation::HandKind(e.b));
    case SimStation::Ereignis::Logoff:
        return st.logoff();
    case SimStation::Ereignis::Discard:
        return st.discard(e.b);
    case SimStation::Ereignis::Login:
        return st.login();
    case SimStation::Ereignis::Insert:
        return st.insert();
    case SimStation::Ereignis::Shot:
        return st.shot(SimStation::ShotKind(e.b));
    case SimStation::Ereignis::Line:
        return st.line(e.b ? "ENDE" : "SCHEIBE");
    case SimStation::Ereignis::Broken:
        return st.broken();
    case SimStation::Ereignis::Pause:
        return st.pause();
    case SimStation::Ereignis::Silence:
        return st.silence();
    case SimStation::Ereignis::Replug:
        return st.replug();
    case SimStation::Ereignis::Hello:
        return st.hello();
    case SimStation::Ereignis::Process:
        return st.process(e.a, e.b);
    case SimStation::Ereignis::Deliver:
        return st.deliver(e.a);
    case SimStation::Ereignis::Timeout:
        return st.timeout(e.a);
    }
}

bool SimStation::streng()
{
    static const bool streng = qEnvironmentVariableIntValue("KOVRIT_SIM_STRICT") != 0;
    return streng;
}
