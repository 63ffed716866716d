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
#include "ParameterEditor.h"
#include "ParameterFile.h"
#include "PortDialog.h"
#include "ControllerRecordWindow.h"
#include "WidgetPrompts.h"

#include <utility>

using namespace kv10;

AppContext::AppContext(const AppOptions& options) : m_options(options)
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
    m_session = std::make_unique<ControllerSession>(*m_waiter);
    if (!options.com1Device.isEmpty())
        m_session->setDeviceOverride(1, options.com1Device);
    if (options.com1Transport)
        m_session->setTransportOverride(1, options.com1Transport);
    m_clock = options.clock ? options.clock : static_cast<Clock*>(&systemClock());
    if (options.random) {
        m_random = options.random;
    } else {
        m_ownRandom = std::make_unique<UnseededRandom>();
        m_random = m_ownRandom.get();
    }
}

AppContext::~AppContext() = default;

QString AppContext::settingsLocation() const
{
    return m_ownSettings ? m_ownSettings->location() : QString();
}

void AppContext::createWindows()
{
    m_mainWindow = std::make_unique<MainWindow>(*this);
    QWidget* owner = m_mainWindow.get();

    m_portDialog = std::make_unique<PortDialog>(*m_session, *m_settings, *m_prompts, owner);
    try {
        m_portDialog->FormCreate();
    } catch (const AppError& error) {
        showErrorBox(*m_prompts, error.text());
    }

    m_aboutBox = std::make_unique<AboutBox>(owner);
    m_identificationDialog = std::make_unique<IdentificationDialog>(link(), *m_prompts, *m_waiter, owner);
    m_parameterEditor = std::make_unique<ParameterEditor>(link(), *m_prompts, *m_waiter, owner);
    m_recordWindow = std::make_unique<ControllerRecordWindow>(link(), *m_prompts, owner);
    m_chartSettingsDialog = std::make_unique<ChartSettingsDialog>(owner);
    m_recordSpeedDialog = std::make_unique<RecordSpeedDialog>(owner);
    m_readoutDialog = std::make_unique<ParameterReadoutDialog>(*m_parameterEditor, link(), *m_prompts, *m_waiter, owner);
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
