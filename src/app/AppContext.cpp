#include "AppContext.h"

#include "AboutBox.h"
#include "IdentificationDialog.h"
#include "AppError.h"
#include "DemoData.h"
#include "ErrorBox.h"
#include "ParameterReadoutDialog.h"
#include "ChartSettingsDialog.h"
#include "RecordSpeedDialog.h"
#include "SettingsStore.h"
#include "Telegram.h"
#include "Timing.h"
#include "MainWindow.h"
#include "MainWindowCommands.h"
#include "ParameterEditor.h"
#include "ParameterFile.h"
#include "PortDialog.h"
#include "ControllerRecordWindow.h"
#include "WidgetPrompts.h"

#include <utility>

using namespace kv10;

namespace {

// The main window's menus open the other windows of the context through this.
class ContextCommands : public MainWindowCommands {
public:
    explicit ContextCommands(AppContext& context) : m_context(context) {}

    void showPortDialog() override { m_context.portDialog().exec(); }
    // After the jobs handed over before; at exit the runner's shutdown closes it anyway.
    void closePort() override
    {
        m_context.runner().post(
            nullptr, [](ControllerSession& session, const StopRequest&) { session.closePort(); }, [] {});
    }
    void showParameters() override
    {
        // A read-out closed while it read leaves the image partly read: no editor on it.
        if (m_context.readoutDialog().exec() == QDialog::Accepted)
            m_context.parameterEditor().exec();
    }
    void showControllerRecord() override { m_context.recordWindow().exec(); }
    void showIdentification() override { m_context.identificationDialog().exec(); }
    void showAbout() override { m_context.aboutBox().exec(); }
    bool editChartSettings(ChartSettings& fields) override { return m_context.chartSettingsDialog().edit(fields); }
    std::optional<PollCycle::Rates> editRecordSpeed(const QString& recordPeriodText, const QString& filePeriodText,
                                                    int recordUnit) override
    {
        RecordSpeedDialog& dialog = m_context.recordSpeedDialog();
        dialog.preset(recordPeriodText, filePeriodText, recordUnit);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        PollCycle::Rates rates;
        rates.filePeriod = dialog.filePeriod();
        rates.recordPeriod = dialog.recordPeriod();
        rates.recordUnit = dialog.recordUnit();
        return rates;
    }

private:
    AppContext& m_context;
};

} // namespace

AppContext::AppContext(const AppOptions& options)
{
    if (options.settings) {
        m_settings = options.settings;
    } else {
        m_ownSettings = std::make_unique<SettingsStore>(options.settingsFolder);
        m_settings = m_ownSettings.get();
    }
    if (options.prompts) {
        m_prompts = options.prompts;
    } else {
        m_ownPrompts = std::make_unique<WidgetPrompts>();
        m_prompts = m_ownPrompts.get();
    }
    m_waiter = options.waiter ? options.waiter : static_cast<Waiter*>(&sleepWaiter());
    Waiter* waiter = m_waiter;
    MonotonicClock* monotonicClock = options.monotonicClock;
    const QString com1Device = options.com1Device;
    Transport* com1Transport = options.com1Transport;
    auto makeSession = [=, this] {
        auto session = monotonicClock ? std::make_unique<ControllerSession>(*waiter, *monotonicClock)
                                      : std::make_unique<ControllerSession>(*waiter);
        // The hub is safe from any thread; the runner waits for this before it goes on.
        m_traces = &session->link().traces();
        if (!com1Device.isEmpty())
            session->setDeviceOverride(1, com1Device);
        if (com1Transport)
            session->setTransportOverride(1, com1Transport);
        return session;
    };
    m_runner = std::make_unique<SessionRunner>(makeSession, options.sessionMode);
    QObject::connect(m_runner.get(), &SessionRunner::jobFailed, m_runner.get(),
                     [this](const QString& text) { showErrorBox(*m_prompts, text); });
    m_clock = options.clock ? options.clock : static_cast<Clock*>(&systemClock());
    if (options.random) {
        m_random = options.random;
    } else {
        m_ownRandom = std::make_unique<UnseededRandom>();
        m_random = m_ownRandom.get();
    }
}

// The running job ends at its next exchange, and nothing is delivered to the windows as they go.
AppContext::~AppContext()
{
    m_runner->shutdown();
}

QString AppContext::settingsLocation() const
{
    return m_ownSettings ? m_ownSettings->location() : QString();
}

void AppContext::createWindows()
{
    m_mainWindowCommands = std::make_unique<ContextCommands>(*this);
    m_mainWindow = std::make_unique<MainWindow>(
        MainWindowParts{*m_settings, settingsLocation(), *m_prompts, *m_clock, *m_runner, image(), *m_traces, *m_random,
                        *m_mainWindowCommands});
    QWidget* owner = m_mainWindow.get();

    m_portDialog = std::make_unique<PortDialog>(runner(), *m_settings, *m_prompts, owner);
    // A port that cannot be opened is reported by the dialog, and start-up goes on.
    m_portDialog->FormCreate();

    m_aboutBox = std::make_unique<AboutBox>(owner);
    m_identificationDialog = std::make_unique<IdentificationDialog>(runner(), image(), *m_prompts, owner);
    m_parameterEditor = std::make_unique<ParameterEditor>(runner(), image(), *m_prompts, owner);
    m_recordWindow = std::make_unique<ControllerRecordWindow>(runner(), image(), *m_prompts, owner);
    m_chartSettingsDialog = std::make_unique<ChartSettingsDialog>(owner);
    m_recordSpeedDialog = std::make_unique<RecordSpeedDialog>(owner);
    m_readoutDialog = std::make_unique<ParameterReadoutDialog>(*m_parameterEditor, runner(), image(), *m_prompts, owner);
    m_parameterEditor->setFirmwareVariantSource([this] { return m_readoutDialog->FirmwareVariant(); });
    m_parameterEditor->setFileCommands([this] { openParameterFile(*m_parameterEditor, image(), *m_prompts); },
                                       [this] { saveParameterFile(*m_parameterEditor, image(), *m_prompts); });

    // The main window's two settings dialogs ask through the prompts; the chart dialog
    // changes the main window's chart while it is open.
    m_chartSettingsDialog->setPrompts(m_prompts);
    m_chartSettingsDialog->setChart(&m_mainWindow->chart());
    m_recordSpeedDialog->setPrompts(m_prompts);

    // Each window is known by its instance name, whatever its form calls it.
    const std::pair<QWidget*, const char*> instances[] = {
        {m_mainWindow.get(), "kvr01"}, {m_portDialog.get(), "port"}, {m_aboutBox.get(), "AboutBox"},
        {m_identificationDialog.get(), "about_ident"}, {m_parameterEditor.get(), "menu_mod"}, {m_recordWindow.get(), "FormZaznam"},
        {m_chartSettingsDialog.get(), "rotace3D"}, {m_recordSpeedDialog.get(), "form_zaznam"}, {m_readoutDialog.get(), "load_form"},
    };
    for (const auto& [window, name] : instances)
        window->setObjectName(QString::fromLatin1(name));
}
