#include "app/verlauf.h"

#include "machine/uhr.h"
#include "targets/geometrie.h"

#include <QFont>

Verlauf::Verlauf(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void Verlauf::neu(quint64 karte, quint32 nummer, const QString &schuetze)
{
    beginInsertRows({}, 0, 0);
    _eintraege.prepend({ karte, nummer, schuetze, 0, 0.0, Uhr::aktuell().jetzt(), NichtGespeichert });
    endInsertRows();
    emit zaehlungGeaendert(zaehlung());
}

void Verlauf::setRinge(quint64 karte, int ringe, double zehntel)
{
    const int z = zeile(karte);
    if (z < 0 || (_eintraege[z].ringe == ringe && _eintraege[z].zehntel == zehntel))
        return;
    _eintraege[z].ringe = ringe;
    _eintraege[z].zehntel = zehntel;
    // One cell: a view repaints all it shows for a change of several.
    emit dataChanged(index(z, Ringe), index(z, Ringe));
}

void Verlauf::setZustand(quint64 karte, Zustand zustand)
{
    const int z = zeile(karte);
    if (z < 0 || _eintraege[z].zustand == zustand)
        return;
    _eintraege[z].zustand = zustand;
    _eintraege[z].zeit = Uhr::aktuell().jetzt();
    geaendert(z);
    emit zaehlungGeaendert(zaehlung());
}

void Verlauf::setIgnoriert(quint64 karte, quint32 anzahl)
{
    const int z = zeile(karte);
    if (z < 0 || _eintraege[z].ignoriert == anzahl)
        return;
    _eintraege[z].ignoriert = anzahl;
    geaendert(z);
}

void Verlauf::setAktuell(quint64 karte)
{
    const int alt = zeile(_aktuell);
    _aktuell = karte;
    if (alt >= 0)
        geaendert(alt);
    if (zeile(karte) >= 0)
        geaendert(zeile(karte));
}

void Verlauf::leeren()
{
    beginResetModel();
    _eintraege.clear();
    _aktuell = 0;
    endResetModel();
    emit zaehlungGeaendert(zaehlung());
}

quint32 Verlauf::nummer(int z) const
{
    return z >= 0 && z < _eintraege.size() ? _eintraege.at(z).nummer : 0;
}

Verlauf::Zustand Verlauf::zustand(int z) const
{
    return z >= 0 && z < _eintraege.size() ? _eintraege.at(z).zustand : NichtGespeichert;
}

QString Verlauf::zustandText(Zustand zustand)
{
    switch (zustand) {
    case WirdGespeichert:
        return tr("wird gespeichert…");
    case Gespeichert:
        return tr("gespeichert");
    case Abgebrochen:
        return tr("abgebrochen");
    case Fehlgeschlagen:
        return tr("Übermittlung fehlgeschlagen");
    case NichtGespeichert:
        break;
    }
    return tr("nicht gespeichert");
}

QString Verlauf::zaehlung() const
{
    int gespeichert = 0;
    int offen = 0;
    int abgebrochen = 0;
    for (const Eintrag &e : _eintraege) {
        gespeichert += e.zustand == Gespeichert;
        abgebrochen += e.zustand == Abgebrochen;
        offen += e.zustand != Gespeichert && e.zustand != Abgebrochen;
    }
    if (_eintraege.isEmpty())
        return QString();
    const QString text = tr("%1 gespeichert, %2 offen").arg(gespeichert).arg(offen);
    return abgebrochen == 0 ? text : text + tr(", %1 abgebrochen").arg(abgebrochen);
}

int Verlauf::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(_eintraege.size());
}

int Verlauf::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Spalten;
}

QVariant Verlauf::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= _eintraege.size())
        return {};
    const Eintrag &e = _eintraege.at(index.row());
    if (role == Qt::FontRole && e.karte == _aktuell) {
        QFont fett;
        fett.setBold(true);
        return fett;
    }
    if (role == Qt::TextAlignmentRole && (index.column() == Nummer || index.column() == Ringe))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    // The dock is narrow beside the targets on a small screen, and names and
    // states are cut there: any cell tells the whole entry.
    if (role == Qt::ToolTipRole) {
        const QString wer = e.schuetze.isEmpty() ? QString() : QStringLiteral(" – ") + e.schuetze;
        const QString text = tr("Scheibe %1%2\n%3 Ringe (%4), %5 (%6)")
                                 .arg(QString::number(e.nummer), wer, QString::number(e.ringe),
                                      Geometrie::zehntelText(e.zehntel), zustandText(e.zustand),
                                      e.zeit.toString(QStringLiteral("hh:mm")));
        if (e.ignoriert == 0)
            return text;
        return text
            + tr("\n%1 Schuss nicht übernommen: vor der Einstellung der Scheibe oder nach ihrem letzten "
                 "Schuss "
                 "gemeldet. Gehörten sie zu ihr, abbrechen und die Karte erneut einlesen.")
                  .arg(e.ignoriert);
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Nummer:
        return QString::number(e.nummer);
    case Schuetze:
        return e.schuetze;
    case Ringe:
        return QStringLiteral("%1 (%2)").arg(e.ringe).arg(Geometrie::zehntelText(e.zehntel));
    case Zeit:
        return e.zeit.toString(QStringLiteral("hh:mm"));
    case Status:
        return zustandText(e.zustand);
    }
    return {};
}

QVariant Verlauf::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const titel[] = { QT_TR_NOOP("Scheibe"), QT_TR_NOOP("Schütze"), QT_TR_NOOP("Ringe"),
                                         QT_TR_NOOP("Zeit"), QT_TR_NOOP("Stand") };
    return section >= 0 && section < Spalten ? tr(titel[section]) : QVariant();
}

int Verlauf::zeile(quint64 karte) const
{
    for (int z = 0; z < _eintraege.size(); ++z) {
        if (_eintraege.at(z).karte == karte)
            return z;
    }
    return -1;
}

void Verlauf::geaendert(int z)
{
    emit dataChanged(index(z, 0), index(z, Spalten - 1));
}
