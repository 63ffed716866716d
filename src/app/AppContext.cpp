#include "AppContext.h"

#include "AboutBox.h"
#include "AboutIdent.h"
#include "AppError.h"
#include "DemoData.h"
#include "ErrorBox.h"
#include "LoadForm.h"
#include "Rotace_3d.h"
#include "Rychlostzaznamu.h"
#include "SettingsStore.h"
#include "Telegram.h"
#include "Timing.h"
#include "Unit_hl.h"
#include "Unitmenumod.h"
#include "Unitport.h"
#include "Unitzaznam.h"
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
    Waiter& waiter = options.waiter ? *options.waiter : static_cast<Waiter&>(sleepWaiter());
    m_link = std::make_unique<TelegramLink>(m_image, waiter, m_prompts);
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
    m_kvr01 = std::make_unique<Tkvr01>(*this);
    QWidget* owner = m_kvr01.get();

    m_port = std::make_unique<Tport>(*m_settings, *m_link, *m_prompts, owner);
    if (!m_options.com1Device.isEmpty())
        m_port->setDeviceOverride(1, m_options.com1Device);
    try {
        m_port->FormCreate();
    } catch (const AppError& error) {
        showErrorBox(*m_prompts, error.text());
    }

    m_aboutBox = std::make_unique<TAboutBox>(owner);
    m_aboutIdent = std::make_unique<Tabout_ident>(owner);
    m_menuMod = std::make_unique<Tmenu_mod>(owner);
    m_formZaznam = std::make_unique<TFormZaznam>(owner);
    m_rotace3D = std::make_unique<Trotace3D>(owner);
    m_formZaznamSpeed = std::make_unique<Tform_zaznam>(owner);
    m_loadForm = std::make_unique<Tload_form>(owner);

    // The main window's two settings dialogs ask through the prompts; the chart dialog
    // changes the main window's chart while it is open.
    m_rotace3D->setPrompts(m_prompts);
    m_rotace3D->setChart(&m_kvr01->chart());
    m_formZaznamSpeed->setPrompts(m_prompts);

    // Each window is known by its instance name, whatever its form calls it.
    const std::pair<QWidget*, const char*> instances[] = {
        {m_kvr01.get(), "kvr01"}, {m_port.get(), "port"}, {m_aboutBox.get(), "AboutBox"},
        {m_aboutIdent.get(), "about_ident"}, {m_menuMod.get(), "menu_mod"}, {m_formZaznam.get(), "FormZaznam"},
        {m_rotace3D.get(), "rotace3D"}, {m_formZaznamSpeed.get(), "form_zaznam"}, {m_loadForm.get(), "load_form"},
    };
    for (const auto& [window, name] : instances)
        window->setObjectName(QString::fromLatin1(name));
}
