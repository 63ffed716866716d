#pragma once
// The setpoint program as the controller runs it, as plain data for the preview beside the
// program grid: the corners of the setpoint curve over time, and that curve sampled at equal
// steps for the trend chart, which draws equally spaced points.
#include <cstdint>
#include <span>
#include <vector>

namespace kv10::editor {

struct ProfilePoint {
    double time;    // in the units of the segment times; the program number for SP
    double value;
};

// SP (type 0): the start values as points over the program numbers 0, 1, 2 ...
// RAMP (1): from the start value straight to each segment's setpoint over its time.
// JUMP (any other type): each setpoint held for its segment's time, as steps.
// A time below 0 counts as 0; segments after the last one with a time add nothing.
std::vector<ProfilePoint> programProfile(int type, float startValue, std::span<const float> setpoints,
                                         std::span<const int32_t> times);

// The curve through the points at `count` equal steps from its first to its last time; where
// the curve steps, the later value. One value when the curve takes no time, none without points.
std::vector<float> sampleProfile(std::span<const ProfilePoint> points, int count);

} // namespace kv10::editor
