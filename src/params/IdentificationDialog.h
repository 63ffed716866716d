#pragma once
// "About": The identification dialog: type and firmware of the connected controller.
#include <QDialog>

namespace Ui { class IdentificationDialog; }

class IdentificationDialog : public QDialog {
    Q_OBJECT
public:
    explicit IdentificationDialog(QWidget* parent = nullptr);
    ~IdentificationDialog() override;

private:
    Ui::IdentificationDialog* ui;
};
