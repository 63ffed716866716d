#include "AboutBox.h"
#include "ui_AboutBox.h"

#include "DialogPlacement.h"
#include "Kv10Version.h"
#include "ProgramPicture.h"


AboutBox::AboutBox(QWidget* parent) : QDialog(parent), ui(new Ui::AboutBox)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ui->ProgramIcon->setPixmap(programPicture(70));
    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
    FormCreate();
    // The designed 324 x 289, or more where the system font needs it.
    const QSize needed = sizeHint();
    setFixedSize(qMax(324, needed.width()), qMax(289, needed.height()));
}

AboutBox::~AboutBox()
{
    delete ui;
}

QString AboutBox::fileVersion()
{
    return QStringLiteral(KV10_VERSION);
}

void AboutBox::setVisible(bool visible)
{
    // A moved dialog keeps its place instead of centring over its parent.
    if (visible && !isVisible())
        moveToScreenCentre(*this);
    QDialog::setVisible(visible);
}

void AboutBox::FormCreate()
{
    ui->Label5->clear();
    const QString version = fileVersion();
    if (!version.isEmpty())
        ui->Label5->setText(QStringLiteral("Verze ") + version);
}
