#pragma once

#include "targets/geometrie.h"

#include <QString>
#include <QWidget>

class QFont;
class QMouseEvent;
class QPainter;
class QPixmap;

// One target of a target card: holds at most one shot, scores it, shows its
// number, ring text and Teiler text, colours itself by the state of the shot
// and lets the range officer correct the shot with the mouse once unlocked by
// a double click. The faces (LgScheibe, LpScheibe) draw the rings.
//
// Coordinates are in ring widths relative to the centre, x to the right and
// y downwards as drawn.
class LxScheibe : public QWidget
{
    Q_OBJECT

public:
    // Background colours of the face as 0xRRGGBB.
    static constexpr unsigned Weiss = 0xFFFFFF; // normal: new, cleared, saved, machine or server shot
    static constexpr unsigned Hellgruen = 0xA9F5A9; // unlocked, or shot placed with the mouse
    static constexpr unsigned Hellrot = 0xF78181; // doubtful, voided or missing shot

    LxScheibe(QWidget *parent, unsigned index, double teilerAbstand);

    unsigned index() const { return _index; }
    bool valid() const { return _valid; }
    double x() const { return _x; }
    double y() const { return _y; }

    // Scoring of the target's own shot: 0.0 rings and Teiler -1.0 without a
    // valid one. The arithmetic is Geometrie's; the static forms pass to it.
    double ringe() const { return _valid ? Geometrie::ringe(_x, _y) : 0.0; }
    static double ringe(double x, double y) { return Geometrie::ringe(x, y); }
    static double ringe(double r) { return Geometrie::ringe(r); }
    double teiler() const { return _valid ? Geometrie::teiler(_x, _y, _teilerAbstand) : -1.0; }
    double teiler(double x, double y) const { return Geometrie::teiler(x, y, _teilerAbstand); }
    double teiler(double r) const { return Geometrie::teiler(r, _teilerAbstand); }
    static double _teiler(double x, double y, double abstand)
    {
        return Geometrie::teilerOhneTest(x, y, abstand);
    }
    static double _teiler(double r, double abstand) { return Geometrie::teilerOhneTest(r, abstand); }
    int tendenz() const { return Geometrie::tendenz(_x, _y); } // of the stored x, y, valid or not
    static int tendenz(double x, double y) { return Geometrie::tendenz(x, y); }
    void setTeilerAbstand(double abstand);

    void setSchuss(double x, double y, unsigned farbe);
    void setSchuss(double x, double y, QString ringeText, QString teilerText, unsigned farbe);
    void setSchussUngultig(QString ringeText, QString teilerText, unsigned farbe);
    void fillScheibe(unsigned farbe);
    void commitScheibe();
    void clearScheibe();

    static QString ringeText(double ringe) { return Geometrie::ringeText(ringe); }
    static QString teilerText(double teiler) { return Geometrie::teilerText(teiler); }

    // A target of the same face and Teiler distance showing the same shot,
    // for a second view of it (the shooter's display, the printout).
    virtual LxScheibe *kopie(QWidget *parent) const;
    // Shows the shot, its texts and its colour as `von` shows them.
    void uebernehmen(const LxScheibe &von);

    // Shown state, for whoever needs to look at the target from outside.
    double teilerAbstand() const { return _teilerAbstand; }
    unsigned farbe() const { return _farbe; }
    QString ringeLabel() const { return _ringeLabel; }
    QString teilerLabel() const { return _teilerLabel; }
    bool editierbar() const { return _editierbar; }
    // The officer placed or voided the shot with the mouse since it was last
    // set from outside; unlocking alone does not count.
    bool vonHandGesetzt() const { return _vonHand; }

    // Radius in pixels below which a shot mark is not drawn to scale: a
    // pellet on a small air-pistol face is a speck of a pixel or two. Such a
    // mark is drawn this large instead, in an outline that stands out from
    // the ground under it. Scoring keeps the true coordinates either way.
    static constexpr double MindestMarke = 4.0;
    // For a view whose pixels are seen smaller or from further away than
    // the screen's: the printout, the shooter's display.
    void setMindestMarke(double pixel);

    // Shows rings `abRing` to 10 over the room of the whole face, for reading
    // from afar; 1 (the default) shows the whole face. A target whose shot
    // lies outside ring `abRing` shows the whole face, so the shot stays in
    // view.
    void setAusschnitt(int abRing);
    // Caps the pixels per ring width, so that targets side by side come out
    // the same size; 0 for no cap.
    void setHoechstensPixelProRing(int pixel);
    // The pixels per ring width that a face of this size takes by itself.
    static int pixelProRingFuer(QSize groesse);

    // Whether the faces' rings are kept as pictures (the default) or drawn
    // anew with every paint, for comparing the two.
    static void setFlaechenBehalten(bool behalten);

    // Face geometry of the last paint; all 0 before the first one.
    int pixelProRing() const { return _pixelProRing; }
    int mitteX() const { return _mitteX; }
    int mitteY() const { return _mitteY; }

signals:
    void scheibeClicked(LxScheibe *scheibe);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

    // Draws the number and the texts above the face; the faces call it last.
    void addText(QPainter *painter);

    // What distinguishes the two faces; radii in ring widths, from the outside in.
    struct Face
    {
        const double *ringRadius;
        int ringCount;
        const double *zifferRadius; // of the numbers "1" to "8"
        int schwarzAb; // ring (1-based) before which the brush turns black
        int weisseLinienAb; // ring before which the pen turns white
        int weisserPunktAb; // ring before which the brush turns white again, 0 for none
        int weisseZiffernAb; // number before which the number pen turns white
        double markRadius; // radius of the shot mark
    };
    // The paint handler shared by both faces.
    void paintFace(const Face &face);

private:
    // The rings and ring numbers of a face around `mitte`; rings outside
    // `abRing` are left out.
    void zeichneFlaeche(QPainter *painter, const Face &face, int abRing, QPoint mitte) const;
    QFont zifferFont() const;
    // Those drawn once per face, size, colour, pixel ratio and font and kept
    // in the pixmap cache: at full-screen sizes the rings cost more than
    // everything else on the screen, and they only change with those. The
    // centre lies at (rand, rand): room for the outer ring and for ring
    // numbers that stick out of a tiny face.
    QPixmap flaeche(const Face &face, int abRing, int rand, qreal dpr) const;

    static bool _flaechenBehalten;
    unsigned _index;
    double _teilerAbstand;
    int _pixelProRing = 0;
    int _schriftProRing = 0; // the texts' scale: that of the whole face
    int _hoechstens = 0;
    int _abRing = 1;
    double _mindestMarke = MindestMarke;
    int _mitteX = 0;
    int _mitteY = 0;
    bool _valid = false;
    double _x = 0.0;
    double _y = 0.0;
    unsigned _farbe = Weiss;
    QString _ringeLabel;
    QString _teilerLabel;
    bool _editierbar = false;
    bool _vonHand = false;
};
