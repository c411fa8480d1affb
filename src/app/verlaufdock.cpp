#include "app/verlaufdock.h"

#include "app/verlauf.h"

#include <QHeaderView>
#include <QTableView>

VerlaufDock::VerlaufDock(Verlauf &verlauf, QWidget *parent)
    : QDockWidget(tr("Verlauf"), parent)
    , _verlauf(verlauf)
    , _ansicht(new QTableView)
{
    setObjectName(QStringLiteral("verlaufDock"));
    _ansicht->setObjectName(QStringLiteral("verlauf"));
    _ansicht->setModel(&verlauf);
    _ansicht->setSelectionBehavior(QAbstractItemView::SelectRows);
    _ansicht->setSelectionMode(QAbstractItemView::SingleSelection);
    _ansicht->setEditTriggers(QAbstractItemView::NoEditTriggers);
    _ansicht->verticalHeader()->hide();
    _ansicht->setWordWrap(false);
    _ansicht->horizontalHeader()->setSectionResizeMode(Verlauf::Schuetze, QHeaderView::Stretch);
    connect(_ansicht, &QAbstractItemView::activated, this, [this](const QModelIndex &index) {
        if (const quint32 nummer = _verlauf.nummer(index.row()))
            emit nummerGewaehlt(nummer);
    });
    setWidget(_ansicht);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
}

// Columns as wide as their usual texts in bold (the card on screen), set at
// the login: sizing them to the contents at every change cost most of a frame
// with each save, and measuring the bold font loads it, which the start-up
// need not wait for. A longer state than "gespeichert" is elided and shown
// whole as a tooltip; the saved line above the targets says it in full.
void VerlaufDock::spaltenBreiten()
{
    QFont fett = _ansicht->font();
    fett.setBold(true);
    const QFontMetrics schrift(fett);
    const auto breite = [&](const QStringList &texte) {
        int b = 0;
        for (const QString &t : texte)
            b = qMax(b, schrift.horizontalAdvance(t) + 10);
        return b;
    };
    QHeaderView *kopf = _ansicht->horizontalHeader();
    kopf->resizeSection(Verlauf::Nummer, breite({ tr("Scheibe"), QStringLiteral("000000") }));
    kopf->resizeSection(Verlauf::Ringe, breite({ tr("Ringe"), QStringLiteral("100 (104,2)") }));
    kopf->resizeSection(Verlauf::Zeit, breite({ tr("Zeit"), QStringLiteral("00:00") }));
    kopf->resizeSection(Verlauf::Status, breite({ Verlauf::zustandText(Verlauf::Gespeichert) }));
}
