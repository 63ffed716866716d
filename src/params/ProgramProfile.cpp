#include "ProgramProfile.h"

#include <algorithm>

namespace kv10::editor {

namespace {

enum ProgramType { TypeSp = 0, TypeRamp = 1 };

} // namespace

std::vector<ProfilePoint> programProfile(int type, float startValue, std::span<const float> setpoints,
                                         std::span<const int32_t> times)
{
    std::vector<ProfilePoint> points;
    if (type == TypeSp) {
        for (std::size_t program = 0; program < setpoints.size(); ++program)
            points.push_back({double(program), setpoints[program]});
        return points;
    }
    // Zero-time segments at the end are the unused rest of the program, not a last step.
    std::size_t used = std::min(setpoints.size(), times.size());
    while (used > 0 && times[used - 1] <= 0)
        --used;
    double time = 0;
    if (type == TypeRamp)
        points.push_back({0, startValue});
    for (std::size_t segment = 0; segment < used; ++segment) {
        const double duration = std::max<int32_t>(times[segment], 0);
        if (type != TypeRamp) {
            if (duration == 0)
                continue;
            points.push_back({time, setpoints[segment]});
        }
        time += duration;
        points.push_back({time, setpoints[segment]});
    }
    return points;
}

std::vector<float> sampleProfile(std::span<const ProfilePoint> points, int count)
{
    if (points.empty())
        return {};
    const double start = points.front().time;
    const double span = points.back().time - start;
    if (span <= 0 || count < 2)
        return {float(points.back().value)};
    std::vector<float> samples;
    samples.reserve(std::size_t(count));
    std::size_t at = 0;
    for (int k = 0; k < count; ++k) {
        const double t = start + span * k / (count - 1);
        while (at + 1 < points.size() && points[at + 1].time <= t)
            ++at;
        const ProfilePoint& from = points[at];
        if (at + 1 == points.size()) {
            samples.push_back(float(from.value));
            continue;
        }
        const ProfilePoint& to = points[at + 1];
        samples.push_back(float(from.value + (to.value - from.value) * (t - from.time) / (to.time - from.time)));
    }
    return samples;
}

} // namespace kv10::editor
