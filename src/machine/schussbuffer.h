#pragma once

#include <QList>
#include <QObject>

// Records every shot the machine reports for the current card and forwards it
// unchanged. Shots that arrive while the card's data is still being fetched
// from the server are presented again from the record once the card is laid
// out.
class SchussBuffer : public QObject
{
    Q_OBJECT

public:
    // One recorded shot, with the fields of the shot tuple.
    struct Eintrag
    {
        quint32 nummer;
        bool valid;
        double ringe;
        double teiler;
        double x;
        double y;
        bool zweifelhaft;
    };

    SchussBuffer() = default;

    // The recorded shots, oldest first.
    const QList<Eintrag> &eintraege() const { return _eintraege; }
    // Emits schuss once for every recorded shot, oldest first; the record stays.
    void wiederholen();

signals:
    void schuss(quint32 nummer, bool valid, double ringe, double teiler, double x, double y,
                bool zweifelhaft);

public slots:
    void clear();
    void push(quint32 nummer, bool valid, double ringe, double teiler, double x, double y, bool zweifelhaft);

private:
    QList<Eintrag> _eintraege;
};
