#include "forms/header.h"

#include "ui_header.h"

#include <QKeyEvent>

Header::Header(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Header)
{
    ui->setupUi(this);
    ui->scheibe->installEventFilter(this);
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

void Header::inputDisable()
{
    ui->scheibe->setEnabled(false);
}

void Header::inputSelect()
{
    _neueNummer = true;
    ui->scheibe->setEnabled(true);
    ui->scheibe->setFocus(Qt::OtherFocusReason);
    ui->scheibe->selectAll();
}

void Header::inputClear()
{
    _neueNummer = true;
    ui->scheibe->setEnabled(true);
    ui->scheibe->setFocus(Qt::OtherFocusReason);
    ui->scheibe->clear();
    ui->waffe->clear();
    ui->schutze->clear();
    ui->mannschaft->clear();
    ui->wettbewerb->clear();
    ui->info->clear();
}
