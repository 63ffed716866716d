#pragma once
// "Čtení parametrů": The read-out dialog: reads all parameters with progress.
#include <QDialog>

namespace Ui { class ParameterReadoutDialog; }

class ParameterReadoutDialog : public QDialog {
    Q_OBJECT
public:
    explicit ParameterReadoutDialog(QWidget* parent = nullptr);
    ~ParameterReadoutDialog() override;

private:
    Ui::ParameterReadoutDialog* ui;
};
