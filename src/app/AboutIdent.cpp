#include "AboutIdent.h"
#include "ui_AboutIdent.h"

Tabout_ident::Tabout_ident(QWidget* parent) : QDialog(parent), ui(new Ui::Tabout_ident)
{
    ui->setupUi(this);
}

Tabout_ident::~Tabout_ident()
{
    delete ui;
}
