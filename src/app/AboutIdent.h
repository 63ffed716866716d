#pragma once
// "About": The identification dialog: type and firmware of the connected controller.
#include <QDialog>

namespace Ui { class Tabout_ident; }

class Tabout_ident : public QDialog {
    Q_OBJECT
public:
    explicit Tabout_ident(QWidget* parent = nullptr);
    ~Tabout_ident() override;

private:
    Ui::Tabout_ident* ui;
};
