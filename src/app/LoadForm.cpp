#include "LoadForm.h"
#include "ui_LoadForm.h"

Tload_form::Tload_form(QWidget* parent) : QDialog(parent), ui(new Ui::Tload_form)
{
    ui->setupUi(this);
}

Tload_form::~Tload_form()
{
    delete ui;
}
