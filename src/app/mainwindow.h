#pragma once

#include <QMainWindow>

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr, const QString &path = QStringLiteral("config.json"));
    ~MainWindow() override;

private:
    Ui::MainWindow *ui;
};
