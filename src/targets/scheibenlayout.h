#pragma once

#include <QString>
#include <QWidget>

class GleicheGroesse;
class LxScheibe;
class QPushButton;

namespace Ui {
class ScheibenLayout;
}

// The targets of one target card in one or two rows, with "Abbrechen" and
// "Speichern" below them. Owns its targets; holds no scores of its own.
class ScheibenLayout : public QWidget
{
    Q_OBJECT

public:
    enum ScheibenTyp {
        Lg = 1, // air rifle
        Lp = 2 // air pistol, also taken for any other value
    };

    static constexpr unsigned MaxScheiben = 10;

    explicit ScheibenLayout(QWidget *parent = nullptr);
    ~ScheibenLayout() override;

    // Rebuilds the grid, or clears the targets for a card with the same ones;
    // false (and nothing changed) for more than 10 targets.
    bool setLayout(unsigned anzahl, ScheibenTyp typ, double teilerFaktor);
    unsigned getScheibenzahl() const;
    LxScheibe *getScheibe(unsigned index) const; // null if index >= anzahl

    // The index operations return false and change nothing for index >= anzahl.
    bool setScheibe(unsigned index, double x, double y, bool zweifelhaft);
    bool setScheibe(unsigned index, double x, double y, QString ringeText, QString teilerText,
                    bool zweifelhaft);
    bool setScheibeNull(unsigned index); // an empty slot of the card
    bool setScheibeUngultig(unsigned index); // a missing or invalid shot

    unsigned getRinge() const; // whole rings, each target truncated
    double getZehntel() const; // rings with tenths

    void commitScheiben();
    void clearScheiben();
    void enableAbbrechen(bool enable);
    // Both buttons on and the focus on "Speichern", as after a doubtful or
    // voided shot: also used when the server refused the card's hits.
    void enableButtons();

signals:
    void scheibeClicked(LxScheibe *scheibe);
    void speichernClicked();
    void abbrechenClicked();

public slots:
    void onScheibeClicked(LxScheibe *scheibe);

private:
    Ui::ScheibenLayout *ui;
    QPushButton *_speichernButton;
    QPushButton *_abbrechenButton;
    LxScheibe *_scheiben[MaxScheiben] = {};
    GleicheGroesse *_gleicheGroesse;
    unsigned _anzahl;
    unsigned _proReihe = 0;
    bool _luftgewehr = true; // the kind of the targets; any other than Lg is Lp
};
