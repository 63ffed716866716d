#pragma once
// "KORVIN 10 DATA": The parameter editor with its pages and the setpoint programs.
#include <QDialog>

namespace Ui { class Tmenu_mod; }

class Tmenu_mod : public QDialog {
    Q_OBJECT
public:
    explicit Tmenu_mod(QWidget* parent = nullptr);
    ~Tmenu_mod() override;

private:
    Ui::Tmenu_mod* ui;
};
