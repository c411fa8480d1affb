#pragma once

#include <QDockWidget>

class QTableView;
class Verlauf;

// The Verlauf beside the targets: the cards since the login, newest first.
// Activating a row enters its card number again.
class VerlaufDock : public QDockWidget
{
    Q_OBJECT

public:
    VerlaufDock(Verlauf &verlauf, QWidget *parent);

    // Columns as wide as their usual texts in bold; set at the login.
    void spaltenBreiten();

signals:
    void nummerGewaehlt(quint32 nummer);

private:
    Verlauf &_verlauf;
    QTableView *_ansicht;
};
