#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class GleicheGroesse;
class LxScheibe;
class QFrame;
class QGridLayout;

namespace Ui {
class Schuetzenanzeige;
}

// The shooter's own view of the card on screen, for a second monitor facing
// the firing line: who shoots, the targets drawn large with the same faces,
// the latest shot framed, the totals in large digits and "gespeichert" once
// the server holds the card. It follows the main window and never takes
// input or focus from it.
class Schuetzenanzeige : public QWidget
{
    Q_OBJECT

public:
    // What the main window shows besides its targets.
    struct Stand
    {
        quint32 nummer = 0; // card number; 0 while no card is on screen
        QString schuetze;
        QString verein;
        qint32 ringe = 0;
        double zehntel = 0.0;
        qint32 serieRinge = 0;
        double serieZehntel = 0.0;
        int letzter = -1; // target of the latest shot, -1 for none
        bool gespeichert = false;
    };

    explicit Schuetzenanzeige(QWidget *parent = nullptr);
    ~Schuetzenanzeige() override;

    // Takes over the state of the card and of every target on the main screen.
    void zeige(const Stand &stand, const QList<const LxScheibe *> &scheiben);
    // Opens on a screen other than the one of `neben` when there is one, full
    // screen there; beside it in a window otherwise.
    void oeffnen(QWidget *neben);

    // The targets as drawn here, for tests.
    QList<LxScheibe *> scheiben() const { return _scheiben; }

signals:
    // Closed from its own window frame.
    void geschlossen();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    Ui::Schuetzenanzeige *ui;
    QGridLayout *_raster;
    QList<QFrame *> _rahmen; // one per target; the latest shot's is drawn in colour
    QList<LxScheibe *> _scheiben;
    GleicheGroesse *_gleicheGroesse;
};
