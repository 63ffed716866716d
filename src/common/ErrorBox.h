#pragma once
// The application's error box: the program's own errors (AppError) and runtime errors that
// reach an event handler are shown with this caption and the error icon, and the program goes on.
#include "Prompts.h"

namespace kv10 {

inline const QString ErrorBoxCaption = QStringLiteral("KV-10");

inline void showErrorBox(Prompts& prompts, const QString& text)
{
    prompts.message(text, ErrorBoxCaption, PromptIcon::Error, PromptButton::Ok, nullptr);
}

} // namespace kv10
