#include "AboutBox.h"
#include "ui_AboutBox.h"

#include "DialogPlacement.h"
#include "Kv10Version.h"
#include "ProgramPicture.h"

#ifdef Q_OS_WIN
#include <windows.h>
#include <vector>
#endif

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
#ifdef Q_OS_WIN
    // The version resource of the running program, its Czech string block.
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0)
        return {};
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    std::vector<char> block(size);
    void* value = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, block.data())
        || !VerQueryValueW(block.data(), L"\\StringFileInfo\\040504E2\\FileVersion", &value, &length)
        || length == 0)
        return {};
    return QString::fromWCharArray(static_cast<const wchar_t*>(value)).trimmed();
#else
    return QStringLiteral(KV10_VERSION);
#endif
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
