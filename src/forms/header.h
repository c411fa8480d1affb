#pragma once

#include <QStringList>
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

signals:
    void scheibenIdEntered(unsigned id);

public slots:
    void set(const QString &schutze, const QString &mannschaft, const QStringList &wettbewerbe,
             const QString &waffe, const QString &info = QString());
    void on_scheibe_returnPressed();

private:
    Ui::Header *ui;
};
