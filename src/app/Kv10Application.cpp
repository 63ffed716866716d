#include "Kv10Application.h"

#include "AppError.h"
#include "ErrorBox.h"
#include "Kv10Version.h"
#include "WidgetPrompts.h"

#include <QLibraryInfo>
#include <QTranslator>
#include <exception>

Kv10Application::Kv10Application(int& argc, char** argv) : QApplication(argc, argv)
{
    describeProgram();
}

void Kv10Application::describeProgram()
{
    // No display name: the platforms append it to every window and message-box caption
    // ("KORVIN 10 - KV-10"). "KV-10" is the main window's icon text instead.
    setApplicationName(QStringLiteral("kv10"));
    setApplicationVersion(QStringLiteral(KV10_VERSION));
}

bool Kv10Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const kv10::AppError& error) {
        showError(error.text());
    } catch (const std::exception& error) {
        showError(kv10::exceptionText(error));
    }
    return false;
}

void Kv10Application::showError(const QString& text)
{
    if (m_prompts) {
        kv10::showErrorBox(*m_prompts, text);
    } else {
        WidgetPrompts boxes;
        kv10::showErrorBox(boxes, text);
    }
}

bool Kv10Application::loadCzechTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_cs"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    installTranslator(translator);
    return true;
}
