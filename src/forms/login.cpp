#include "forms/login.h"

#include "ui_login.h"

namespace {
const char *const prompt = QT_TRANSLATE_NOOP("Login", "Bitte Wettkampf wählen!");
const char *const reload = QT_TRANSLATE_NOOP("Login", "Wettkampfliste neu laden...");
} // namespace

Login::Login(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Login)
{
    ui->setupUi(this);
    _timer.setSingleShot(true);
    connect(&_timer, &QTimer::timeout, this, &Login::onTimeoutExpired);
    // Return after the password logs in, as the officer expects.
    connect(ui->passwordEdit, &QLineEdit::returnPressed, ui->loginButton, &QPushButton::click);

    ui->wettkampfSelect->addItem(tr(prompt));
    ui->wettkampfSelect->addItem(tr(reload));
    ui->wettkampfSelect->setCurrentIndex(0);
    ui->wettkampfSelect->setFocus(Qt::OtherFocusReason);
}

Login::~Login()
{
    delete ui;
}

void Login::setWettkampfe(const QList<QPair<quint32, QString>> &wettkampfe)
{
    // Rebuilding fires currentIndexChanged; it can never look like a choice
    // of the reload entry, because that entry is appended while index 0 stays
    // selected.
    ui->wettkampfSelect->clear();
    ui->wettkampfSelect->addItem(tr(prompt));
    for (const auto &wettkampf : wettkampfe)
        ui->wettkampfSelect->addItem(wettkampf.second, wettkampf.first);
    ui->wettkampfSelect->addItem(tr(reload));
    ui->wettkampfSelect->setCurrentIndex(0);
}

void Login::setAnmeldeFehler(const QString &text)
{
    _timer.start(_fehlerAnzeigeMs);
    ui->loginButton->setText(text);
}

void Login::on_loginButton_clicked()
{
    ui->loginButton->setEnabled(false);
    const QString password = ui->passwordEdit->text();
    const QString user = ui->userEdit->text();
    const QString name = ui->wettkampfSelect->currentText();
    const quint32 id = ui->wettkampfSelect->currentData().toUInt();
    emit anmeldenClicked(id, name, user, password);
}

void Login::on_wettkampfSelect_currentIndexChanged(int index)
{
    const int count = ui->wettkampfSelect->count();
    if (count > 1 && index + 1 == count)
        emit wettkampfRefreshSelected();
}

void Login::onTimeoutExpired()
{
    ui->loginButton->setText(tr("Anmelden"));
    ui->loginButton->setEnabled(true);
}
