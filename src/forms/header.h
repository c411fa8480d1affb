#pragma once

#include "server/serviceprovider.h"

#include <QStringList>

class QKeyEvent;
class QLineEdit;
#include <QWidget>

namespace Ui {
class Header;
}

// The card panel: the card number input (typed or scanned) and, read-only,
// the data of the fetched card.
class Header : public QWidget
{
    Q_OBJECT

public:
    explicit Header(QWidget *parent = nullptr);
    ~Header() override;

    void inputDisable();
    void inputSelect();
    void inputClear();
    bool inputGesperrt() const;
    // Enters a card number as if it had been typed and confirmed with Return.
    void eingeben(quint32 nummer);
    // A key typed elsewhere in the window that belongs to the card number.
    void tippe(QKeyEvent *taste);
    // The fetched card's shooter, team, competitions, weapon and info line.
    void zeige(const ServiceProvider::Scheibe &karte);
    // Why the card number cannot be entered while a card waits for a decision.
    static QString sperrText();
    // A card is being fetched: the fields below, still the card before, are greyed.
    void setLaedt(bool laedt);
    // The number of the card on screen, back in the input; selected for
    // the next scan when `waehlen`.
    void setNummer(quint32 nummer, bool waehlen);
    // The card number waiting for the card on screen to be done; 0 for none.
    void setNaechste(quint32 nummer);

signals:
    void scheibenIdEntered(unsigned id);

public slots:
    void set(const QString &schutze, const QString &mannschaft, const QStringList &wettbewerbe,
             const QString &waffe, const QString &info = QString());
    void on_scheibe_returnPressed();

protected:
    void resizeEvent(QResizeEvent *event) override;
    // Digits typed or scanned into the card number always make a number:
    // the first after Return (or after the field was selected or cleared)
    // begins a new one, the others are appended, wherever the cursor stands.
    // The mask alone would drop them once the cursor is past the last digit.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Ui::Header *ui;
    void zeigeHinweis();
    // The disabled text of a field: readable, or pale for the card before.
    void faerbe(QLineEdit *feld, bool blass);
    // The info line in a smaller font, down to a limit, rather than cut.
    void passeInfoAn();

    bool _neueNummer = true; // the next digit begins a new number
    bool _laedt = false;
    quint32 _naechste = 0;
};
