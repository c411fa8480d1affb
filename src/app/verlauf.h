#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QString>

// The cards handled since the login, newest first: what the officer can look
// back on during a match. Kept in memory only and emptied at the logoff.
class Verlauf : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Zustand { NichtGespeichert, WirdGespeichert, Gespeichert, Abgebrochen, Fehlgeschlagen };
    enum Spalte { Nummer, Schuetze, Ringe, Zeit, Status, Spalten };

    explicit Verlauf(QObject *parent = nullptr);

    // A card taken onto the screen; `karte` tells its entry from every other.
    void neu(quint64 karte, quint32 nummer, const QString &schuetze);
    void setRinge(quint64 karte, int ringe, double zehntel);
    void setZustand(quint64 karte, Zustand zustand);
    // Shot lines the link did not take while the card was on screen.
    void setIgnoriert(quint64 karte, quint32 anzahl);
    // The card on screen is shown in bold; 0 for none.
    void setAktuell(quint64 karte);
    void leeren();

    quint32 nummer(int zeile) const;
    Zustand zustand(int zeile) const;
    Zustand zustandVon(quint64 karte) const { return zustand(this->zeile(karte)); }
    static QString zustandText(Zustand zustand);
    // "12 gespeichert, 1 offen, 2 abgebrochen"
    QString zaehlung() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void zaehlungGeaendert(const QString &text);

private:
    struct Eintrag
    {
        quint64 karte;
        quint32 nummer;
        QString schuetze;
        int ringe = 0;
        double zehntel = 0.0;
        QDateTime zeit;
        Zustand zustand = NichtGespeichert;
        quint32 ignoriert = 0;
    };

    int zeile(quint64 karte) const;
    void geaendert(int zeile);

    QList<Eintrag> _eintraege; // newest first
    quint64 _aktuell = 0;
};
