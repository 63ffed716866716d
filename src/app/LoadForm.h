#pragma once
// "Čtení parametrů": The read-out dialog: reads all parameters with progress.
#include <QDialog>

namespace Ui { class Tload_form; }

class Tload_form : public QDialog {
    Q_OBJECT
public:
    explicit Tload_form(QWidget* parent = nullptr);
    ~Tload_form() override;

private:
    Ui::Tload_form* ui;
};
