#include "Unitmenumod.h"
#include "ui_Unitmenumod.h"

Tmenu_mod::Tmenu_mod(QWidget* parent) : QDialog(parent), ui(new Ui::Tmenu_mod)
{
    ui->setupUi(this);
}

Tmenu_mod::~Tmenu_mod()
{
    delete ui;
}
