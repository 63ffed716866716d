#include "AboutBox.h"
#include "ui_AboutBox.h"

#include "ProgramPicture.h"

#include <QGuiApplication>
#include <QScreen>

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
#ifdef KV10_FILE_VERSION
    return QStringLiteral(KV10_FILE_VERSION);
#else
    return {};
#endif
}

void AboutBox::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            // A moved dialog keeps its place instead of centring over its parent.
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::setVisible(visible);
}

void AboutBox::FormCreate()
{
    ui->Label5->clear();
    const QString version = fileVersion();
    if (!version.isEmpty())
        ui->Label5->setText(QStringLiteral("Verze ") + version);
}
