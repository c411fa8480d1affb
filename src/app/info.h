#pragma once

#include <QDialog>

namespace Ui {
class Info;
}

// The program's logo, name and version.
class Info : public QDialog
{
    Q_OBJECT

public:
    Info(QWidget *parent, const QString &version);
    ~Info() override;

private:
    Ui::Info *ui;
};
