#pragma once
// A sequence handed to the session runner as one job, for a window.
//
// The image rule: the window's thread keeps its own copy of the controller image, the one its
// controls show and edit; the session's image belongs to the session's thread. A job that sends
// values (ImageUse::Whole) takes a copy of the window's image along, made when the job is handed
// over, and puts it into the session's image before its first exchange. Every job brings the
// session's image back with its result, and the window's copy takes it before `done` runs. A
// window disables the commands that change its image while its job runs, and the live read
// sends nothing, so no change made meanwhile is lost.
#include "Sequence.h"
#include "SessionRunner.h"
#include "Telegram.h"

#include <optional>
#include <type_traits>
#include <utility>

namespace kv10::core {

enum class ImageUse { Whole, LiveOnly };

// Runs body(sequence) as one job; its progress reaches `progress` on the window's thread
// (`context`'s) while it runs, and the returned handle (or the runner's shutdown) stops it
// before its next exchange. `done` gets what body returned. `stop`, when given, is the job's
// stop request (see SessionRunner::post).
template <typename Body, typename Done>
StopHandle postSequence(SessionRunner& runner, QObject* context, ControllerImage& image, ImageUse use, Body body,
                        std::function<void(const Progress&)> progress, Done done, StopHandle stop = {})
{
    using Value = std::invoke_result_t<Body&, Sequence&>;
    struct Outcome {
        Value value;
        ControllerImage image;
    };
    std::optional<ControllerImage> sent;
    if (use == ImageUse::Whole)
        sent = image;
    const QPointer<QObject> shownOn(context);
    return runner.post(
        context,
        [&runner, shownOn, sent = std::move(sent), body = std::move(body),
         progress = std::move(progress)](ControllerSession& session, const StopRequest& stop) mutable {
            if (sent)
                session.image() = *sent;
            Steering steering;
            if (progress) {
                steering.progress = [&runner, shownOn, progress](const Progress& step) {
                    runner.deliver(shownOn, [progress, step] { progress(step); });
                };
            }
            steering.stop = [&stop] { return stop.requested(); };
            Sequence sequence(session.link(), session.link().waiter(), std::move(steering));
            Value value = body(sequence);
            return Outcome{std::move(value), session.image()};
        },
        [&image, use, done = std::move(done)](Outcome outcome) mutable {
            if (use == ImageUse::Whole)
                image = outcome.image;
            else
                image.live = outcome.image.live;
            done(std::move(outcome.value));
        },
        std::move(stop));
}

} // namespace kv10::core
