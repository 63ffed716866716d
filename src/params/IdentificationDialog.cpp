#include "IdentificationDialog.h"
#include "ui_IdentificationDialog.h"

IdentificationDialog::IdentificationDialog(QWidget* parent) : QDialog(parent), ui(new Ui::IdentificationDialog)
{
    ui->setupUi(this);
}

IdentificationDialog::~IdentificationDialog()
{
    delete ui;
}
