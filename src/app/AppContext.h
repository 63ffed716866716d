#pragma once
// Everything the program holds for its whole run: the settings, the controller image, the
// telegram link, the prompts and the nine windows, created at start-up in their fixed order
// and kept until the end.
#include "ControllerImage.h"

#include <QString>
#include <memory>

namespace kv10 {
class Clock;
class IntegerSettings;
class RandomSource;
class Prompts;
class TelegramLink;
class Waiter;
}

class SettingsStore;
class Tkvr01;
class Tport;
class TAboutBox;
class Tabout_ident;
class Tmenu_mod;
class TFormZaznam;
class Trotace3D;
class Tform_zaznam;
class Tload_form;

struct AppOptions {
    QString settingsFolder;                    // empty: the platform's own settings place
    kv10::IntegerSettings* settings = nullptr; // instead of a SettingsStore (tests)
    kv10::Prompts* prompts = nullptr;          // instead of message boxes and dialogs (tests)
    kv10::Waiter* waiter = nullptr;            // instead of real pauses (tests)
    kv10::Clock* clock = nullptr;              // instead of the local clock (tests)
    kv10::RandomSource* random = nullptr;      // instead of the unseeded demo source (tests)
    QString com1Device;                        // device for COM 1 in this run only
};

class AppContext {
public:
    explicit AppContext(const AppOptions& options = {});
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    // Creates the nine windows in order. A port that cannot be opened is reported in the
    // error box and start-up goes on.
    void createWindows();

    kv10::IntegerSettings& settings() { return *m_settings; }
    QString settingsLocation() const;
    kv10::ControllerImage& image() { return m_image; }
    kv10::TelegramLink& link() { return *m_link; }
    kv10::Prompts& prompts() { return *m_prompts; }
    kv10::Clock& clock() { return *m_clock; }
    kv10::RandomSource& random() { return *m_random; }

    Tkvr01& kvr01() { return *m_kvr01; }
    Tport& port() { return *m_port; }
    TAboutBox& AboutBox() { return *m_aboutBox; }
    Tabout_ident& about_ident() { return *m_aboutIdent; }
    Tmenu_mod& menu_mod() { return *m_menuMod; }
    TFormZaznam& FormZaznam() { return *m_formZaznam; }
    Trotace3D& rotace3D() { return *m_rotace3D; }
    Tform_zaznam& form_zaznam() { return *m_formZaznamSpeed; }
    Tload_form& load_form() { return *m_loadForm; }

private:
    AppOptions m_options;
    std::unique_ptr<SettingsStore> m_ownSettings;
    kv10::IntegerSettings* m_settings = nullptr;
    std::unique_ptr<kv10::Prompts> m_ownPrompts;
    kv10::Prompts* m_prompts = nullptr;
    kv10::ControllerImage m_image;
    std::unique_ptr<kv10::TelegramLink> m_link;
    kv10::Clock* m_clock = nullptr;
    std::unique_ptr<kv10::RandomSource> m_ownRandom;
    kv10::RandomSource* m_random = nullptr;

    // Destroyed in reverse order: the dialogs before the main window that parents them.
    std::unique_ptr<Tkvr01> m_kvr01;
    std::unique_ptr<Tport> m_port;
    std::unique_ptr<TAboutBox> m_aboutBox;
    std::unique_ptr<Tabout_ident> m_aboutIdent;
    std::unique_ptr<Tmenu_mod> m_menuMod;
    std::unique_ptr<TFormZaznam> m_formZaznam;
    std::unique_ptr<Trotace3D> m_rotace3D;
    std::unique_ptr<Tform_zaznam> m_formZaznamSpeed;
    std::unique_ptr<Tload_form> m_loadForm;
};
