#pragma once
// A message that the link has for the user: it keeps it, and the window that ran the
// exchanges shows it once they have ended, so that no box opens in the middle of a sequence.
#include "Prompts.h"

#include <QString>
#include <optional>

namespace kv10 {

// Shown with the error icon and an OK button, without an owner window.
struct LinkNotice {
    QString text;
    QString caption;

    bool operator==(const LinkNotice&) const = default;
};

inline void showNotice(Prompts& prompts, const std::optional<LinkNotice>& notice)
{
    if (notice)
        prompts.message(notice->text, notice->caption, PromptIcon::Error, PromptButton::Ok, nullptr);
}

} // namespace kv10
