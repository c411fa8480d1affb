#include "forms/header.h"

#include "ui_header.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPalette>

Header::Header(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Header)
{
    ui->setupUi(this);
    ui->scheibe->installEventFilter(this);

    // The card's data stays read-only, but must be readable from a step away:
    // the style's grey on grey for disabled text is far too faint. A long
    // text must not widen the panel from card to card either.
    for (QLineEdit *feld : { ui->scheibe, ui->schutze, ui->mannschaft, ui->wettbewerb, ui->waffe, ui->info })
        feld->setSizePolicy(QSizePolicy::Ignored, feld->sizePolicy().verticalPolicy());
    faerbe(ui->scheibe, false);
    setLaedt(false);
}

void Header::faerbe(QLineEdit *feld, bool blass)
{
    QPalette farben = feld->palette();
    farben.setColor(QPalette::Disabled, QPalette::Text,
                    blass ? QColor(0xa0, 0xa0, 0xa0) : QColor(0x20, 0x20, 0x20));
    feld->setPalette(farben);
}

Header::~Header()
{
    delete ui;
}

void Header::set(const QString &schutze, const QString &mannschaft, const QStringList &wettbewerbe,
                 const QString &waffe, const QString &info)
{
    ui->schutze->setText(schutze);
    ui->mannschaft->setText(mannschaft);
    ui->wettbewerb->setText(wettbewerbe.join(QStringLiteral(", ")));
    ui->waffe->setText(waffe);
    ui->info->setText(info);
    // The info line is often longer than its field.
    ui->info->setToolTip(info);
    ui->info->setCursorPosition(0);
    passeInfoAn();
}

void Header::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    passeInfoAn();
}

void Header::passeInfoAn()
{
    QFont schrift = font();
    const qreal voll = schrift.pointSizeF();
    // The frame and the margins of the line edit take some of its width.
    const int platz = ui->info->width() - 12;
    for (qreal groesse = voll; groesse >= 0.7 * voll; groesse -= 0.5) {
        schrift.setPointSizeF(groesse);
        if (QFontMetrics(schrift).horizontalAdvance(ui->info->text()) <= platz)
            break;
    }
    if (ui->info->font() != schrift)
        ui->info->setFont(schrift);
}

void Header::zeige(const ServiceProvider::Scheibe &k)
{
    const QString info = QString::number(k.scheibenProSerie) + QStringLiteral(" Scheibe(n) / Serie; ")
        + QString::number(k.schussProScheibe) + QStringLiteral(" Schuss / Scheibe")
        + QStringLiteral("; Teilerfaktor: ") + QString::number(k.teilerFaktor, 'g', 6)
        + QStringLiteral("; Kaufdatum: ") + k.kaufdatum + QStringLiteral("; Wertungsdatum: ")
        + k.wertungsdatum;
    const QString schuetze = k.schuetze + QStringLiteral(" (") + QString::number(quint32(k.schuetzeId))
        + QStringLiteral(", ") + k.verein + QStringLiteral(")");
    set(schuetze, k.mannschaft, k.wettbewerbe, k.waffe, info);
}

void Header::eingeben(quint32 nummer)
{
    ui->scheibe->setText(QString::number(nummer));
    on_scheibe_returnPressed();
}

void Header::tippe(QKeyEvent *taste)
{
    ui->scheibe->setFocus(Qt::OtherFocusReason);
    eventFilter(ui->scheibe, taste);
}

bool Header::inputGesperrt() const
{
    return !ui->scheibe->isEnabled();
}

QString Header::sperrText()
{
    return tr("Erst speichern oder abbrechen");
}

void Header::on_scheibe_returnPressed()
{
    const QString text = ui->scheibe->text();
    if (text.isEmpty())
        return;
    bool ok = false;
    unsigned id = text.toUInt(&ok, 10);
    if (!ok)
        return;
    // A number read with a leading "+" carries one trailing digit that is
    // not part of the card number.
    if (text.startsWith(QLatin1Char('+'))) {
        id /= 10;
        ui->scheibe->setText(QString::number(id));
    }
    ui->scheibe->selectAll();
    _neueNummer = true;
    emit scheibenIdEntered(id);
}

bool Header::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ui->scheibe || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *taste = static_cast<QKeyEvent *>(event);
    const QString zeichen = taste->text();
    const bool ziffer
        = zeichen.size() == 1 && zeichen.at(0) >= QLatin1Char('0') && zeichen.at(0) <= QLatin1Char('9');
    const bool vorzeichen = zeichen == QLatin1String("+") || zeichen == QLatin1String("-");
    if ((!ziffer && !vorzeichen) || (taste->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        if (taste->key() == Qt::Key_Backspace || taste->key() == Qt::Key_Delete)
            _neueNummer = false;
        return false;
    }
    QString text = _neueNummer ? QString() : ui->scheibe->text();
    // A sign only begins a number; one digit more than the mask holds is dropped.
    if ((vorzeichen && !text.isEmpty()) || text.size() >= 9)
        return true;
    _neueNummer = false;
    ui->scheibe->setText(text + zeichen);
    return true;
}

void Header::setLaedt(bool laedt)
{
    _laedt = laedt;
    for (QLineEdit *feld : { ui->schutze, ui->mannschaft, ui->wettbewerb, ui->waffe, ui->info })
        faerbe(feld, laedt);
    zeigeHinweis();
}

void Header::setNummer(quint32 nummer, bool waehlen)
{
    ui->scheibe->setText(QString::number(nummer));
    _neueNummer = true;
    if (waehlen && ui->scheibe->isEnabled()) {
        ui->scheibe->setFocus(Qt::OtherFocusReason);
        ui->scheibe->selectAll();
    }
}

void Header::setNaechste(quint32 nummer)
{
    _naechste = nummer;
    zeigeHinweis();
}

void Header::zeigeHinweis()
{
    QStringList teile;
    if (_laedt)
        teile << tr("wird geladen…");
    if (_naechste != 0)
        teile << tr("Nächste Scheibe: %1").arg(_naechste);
    ui->naechste->setText(teile.join(QStringLiteral(" · ")));
}

void Header::inputDisable()
{
    // Disabled, the input would hand its focus down the chain to the Verlauf,
    // whose focus frame repaints the whole list with the first shot of every
    // card and where keys would search. Without a focus widget keys go to the
    // window, which answers digits with its hint.
    ui->scheibe->clearFocus();
    ui->scheibe->setEnabled(false);
    ui->scheibe->setToolTip(sperrText());
}

void Header::inputSelect()
{
    _neueNummer = true;
    ui->scheibe->setEnabled(true);
    ui->scheibe->setToolTip(QString());
    ui->scheibe->setFocus(Qt::OtherFocusReason);
    ui->scheibe->selectAll();
}

void Header::inputClear()
{
    _neueNummer = true;
    ui->scheibe->setEnabled(true);
    ui->scheibe->setToolTip(QString());
    ui->scheibe->setFocus(Qt::OtherFocusReason);
    ui->scheibe->clear();
    ui->info->setToolTip(QString());
    ui->waffe->clear();
    ui->schutze->clear();
    ui->mannschaft->clear();
    ui->wettbewerb->clear();
    ui->info->clear();
}
