#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class LxScheibe;

// Keeps the faces of targets shown together at one scale, that of the
// smallest. A layout hands out the pixels of a window unevenly by one here
// and there, and one pixel less in height can cost a face a whole ring
// width: a second row of targets came out visibly smaller than the first.
class GleicheGroesse : public QObject
{
    Q_OBJECT

public:
    explicit GleicheGroesse(QObject *parent = nullptr);

    // The targets to keep alike, in place of the earlier ones.
    void setScheiben(const QList<LxScheibe *> &scheiben);

protected:
    bool eventFilter(QObject *objekt, QEvent *event) override;

private:
    void angleichen();

    QList<QPointer<LxScheibe>> _scheiben;
};
