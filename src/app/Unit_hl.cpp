#include "Unit_hl.h"
#include "ui_Unit_hl.h"

#include "AboutBox.h"
#include "AboutIdent.h"
#include "AppContext.h"
#include "AppError.h"
#include "ErrorBox.h"
#include "IntegerSettings.h"
#include "LoadForm.h"
#include "Rotace_3d.h"
#include "Rychlostzaznamu.h"
#include "StoredColour.h"
#include "Unitmenumod.h"
#include "Unitport.h"
#include "Unitzaznam.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QStyle>
#include <algorithm>
#include <utility>

using namespace kv10;

namespace {

const QString Desktop = QStringLiteral("DESKTOP");
const QString Graf = QStringLiteral("GRAF");
const QString Zaznam = QStringLiteral("ZAZNAM");
const QString InitialLogFileName = QStringLiteral("Záznam KORVIN10");

void setPanelColour(QWidget* panel, const QColor& colour)
{
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, colour);
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
}

} // namespace

Tkvr01::Tkvr01(AppContext& context, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::Tkvr01), m_context(context), m_logFileName(InitialLogFileName)
{
    ui->setupUi(this);
    ui->tl_precist->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));

    // Menu commands show their errors in the error box right here, so no exception has
    // to travel back through the toolkit's menu code.
    const std::pair<QAction*, void (Tkvr01::*)()> commands[] = {
        {ui->mn_novy, &Tkvr01::mn_novyClick},
        {ui->mn_ulozit, &Tkvr01::mn_ulozitClick},
        {ui->mn_ulozitjako, &Tkvr01::mn_ulozitjakoClick},
        {ui->mn_exit, &Tkvr01::mn_exitClick},
        {ui->mn_port, &Tkvr01::mn_portClick},
        {ui->mn_parametry, &Tkvr01::mn_parametryClick},
        {ui->mn_zaznam, &Tkvr01::mn_zaznamClick},
        {ui->mn_barva, &Tkvr01::mn_barvaClick},
        {ui->mn_rychlost_zaznamu, &Tkvr01::mn_rychlost_zaznamuClick},
        {ui->mn_about, &Tkvr01::mn_aboutClick},
        {ui->mn_ident, &Tkvr01::mn_identClick},
    };
    for (const auto& [action, handler] : commands)
        connect(action, &QAction::triggered, this, [this, handler = handler] { guarded(handler); });
    connect(ui->tl_barva_pera, &QPushButton::clicked, this, [this] { guarded(&Tkvr01::tl_barva_peraClick); });

    FormCreate();
}

Tkvr01::~Tkvr01()
{
    delete ui;
}

void Tkvr01::guarded(void (Tkvr01::*handler)())
{
    try {
        (this->*handler)();
    } catch (const AppError& error) {
        showErrorBox(m_context.prompts(), error.text());
    } catch (const std::exception& error) {
        showErrorBox(m_context.prompts(), QString::fromLocal8Bit(error.what()));
    }
}

void Tkvr01::FormCreate()
{
    IntegerSettings& settings = m_context.settings();

    move(DesignedLeft, DesignedTop);
    resize(DesignedWidth, DesignedHeight);
    // Each value is applied at once, so the next one defaults to the window as it now is.
    move(settings.readInteger(Desktop, QStringLiteral("Left"), x()), y());
    move(x(), settings.readInteger(Desktop, QStringLiteral("Top"), y()));
    resize(width(), settings.readInteger(Desktop, QStringLiteral("Height"), height()));
    resize(settings.readInteger(Desktop, QStringLiteral("Width"), width()), height());

    PenColour = settings.readInteger(Graf, QStringLiteral("PERO"), StoredRed);
    GridBackColour = settings.readInteger(Graf, QStringLiteral("MRIZ"), StoredButtonFace);
    BorderColour = settings.readInteger(Graf, QStringLiteral("POZADI"), StoredButtonFace);
    Chart3D = settings.readInteger(Graf, QStringLiteral("G3D"), 1) != 0;
    // The chart takes only 1 to 100 per cent of depth.
    RotationPercent = std::clamp(settings.readInteger(Graf, QStringLiteral("R3D"), 35), 1, 100);
    ChartLength = settings.readInteger(Graf, QStringLiteral("POCET"), 200);

    RecordUnit = settings.readInteger(Zaznam, QStringLiteral("JEDNOTKY"), 1);
    RecordPeriod = settings.readInteger(Zaznam, QStringLiteral("LIST"), 1);
    FilePeriod = settings.readInteger(Zaznam, QStringLiteral("SOUBOR"), 15);
    showRates();

    applyChartLook();

    SampleCounter = 0;
    FileCounter = 0;
    PointCounter = 0;
}

void Tkvr01::FormClose()
{
    IntegerSettings& settings = m_context.settings();
    settings.writeInteger(Desktop, QStringLiteral("Top"), y());
    settings.writeInteger(Desktop, QStringLiteral("Left"), x());
    settings.writeInteger(Desktop, QStringLiteral("Height"), height());
    settings.writeInteger(Desktop, QStringLiteral("Width"), width());

    settings.writeInteger(Graf, QStringLiteral("PERO"), PenColour);
    settings.writeInteger(Graf, QStringLiteral("MRIZ"), GridBackColour);
    settings.writeInteger(Graf, QStringLiteral("POZADI"), BorderColour);
    settings.writeInteger(Graf, QStringLiteral("G3D"), Chart3D ? 1 : 0);
    settings.writeInteger(Graf, QStringLiteral("R3D"), RotationPercent);
    settings.writeInteger(Graf, QStringLiteral("POCET"), ChartLength);

    settings.writeInteger(Zaznam, QStringLiteral("LIST"), RecordPeriod);
    settings.writeInteger(Zaznam, QStringLiteral("SOUBOR"), FilePeriod);
    settings.writeInteger(Zaznam, QStringLiteral("JEDNOTKY"), RecordUnit);

    // A store that cannot be written loses this run's settings; say so once, and close anyway.
    if (!settings.sync())
        m_context.prompts().message(
            QStringLiteral("Nastavení programu nelze uložit:\n%1").arg(m_context.settingsLocation()),
            ErrorBoxCaption, PromptIcon::Warning, PromptButton::Ok, this);
}

void Tkvr01::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void Tkvr01::showRates()
{
    ui->pa_zaznam->setText(QString::number(RecordPeriod));
    ui->pa_soubor->setText(QString::number(FilePeriod));
    ui->pa_jednotky->setText(RecordUnit == 1 ? QStringLiteral("s") : QStringLiteral("min"));
}

void Tkvr01::applyChartLook()
{
    setPanelColour(ui->pa_barva_pera, colourFromStored(PenColour));
    setPanelColour(ui->Chart1, colourFromStored(BorderColour));
}

bool Tkvr01::logFileChosen() const
{
    return ui->mn_novy->isChecked();
}

void Tkvr01::StartNewLog()
{
    m_logBuffer.startNewLog(QDateTime::currentDateTime());
    SampleCounter = 0;
    FileCounter = 0;
    PointCounter = 0;
}

void Tkvr01::mn_novyClick()
{
    StartNewLog();
    mn_ulozitjakoClick();
}

void Tkvr01::mn_ulozitClick()
{
    if (logFileChosen()) {
        m_logBuffer.writeToFile(m_logFileName);
        return;
    }
    FileDialogRequest request;
    request.title = QStringLiteral("Uložit jako");
    request.fileName = m_logFileName;
    request.filter = QStringLiteral("Textový soubor [*.txt] (*.txt)");
    request.defaultSuffix = QStringLiteral("TXT");
    request.confirmOverwrite = m_confirmOverwrite;
    request.owner = this;
    const QString chosen = m_context.prompts().saveFile(request);
    if (chosen.isEmpty())
        return;
    // A failed write throws before the name, the path panel and the check mark change.
    m_logBuffer.writeToFile(chosen);
    m_logFileName = chosen;
    ui->pa_path->setText(QFileInfo(chosen).absoluteFilePath());
    ui->mn_novy->setChecked(true);
}

void Tkvr01::mn_ulozitjakoClick()
{
    ui->mn_novy->setChecked(false);
    m_confirmOverwrite = true;
    mn_ulozitClick();
}

void Tkvr01::mn_exitClick()
{
    mn_ulozitClick();
    m_context.port().ClosePort();
    close();
}

void Tkvr01::mn_portClick()
{
    m_context.port().exec();
}

void Tkvr01::mn_parametryClick()
{
    // The editor opens whatever the read-out's result.
    m_context.load_form().exec();
    m_context.menu_mod().exec();
}

void Tkvr01::mn_zaznamClick()
{
    m_context.FormZaznam().exec();
}

void Tkvr01::mn_barvaClick()
{
    m_context.rotace3D().exec();
}

void Tkvr01::mn_rychlost_zaznamuClick()
{
    m_context.form_zaznam().exec();
}

void Tkvr01::mn_aboutClick()
{
    m_context.AboutBox().exec();
}

void Tkvr01::mn_identClick()
{
    m_context.about_ident().exec();
}

void Tkvr01::tl_barva_peraClick()
{
    // Not preset with the current pen; later points take the new colour.
    if (const auto rgb = m_context.prompts().chooseColour(0x000000, this)) {
        PenColour = storedFromRgb(*rgb);
        setPanelColour(ui->pa_barva_pera, colourFromStored(PenColour));
    }
}
