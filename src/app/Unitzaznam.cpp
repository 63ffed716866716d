#include "Unitzaznam.h"
#include "ui_Unitzaznam.h"

TFormZaznam::TFormZaznam(QWidget* parent) : QDialog(parent), ui(new Ui::TFormZaznam)
{
    ui->setupUi(this);
}

TFormZaznam::~TFormZaznam()
{
    delete ui;
}
