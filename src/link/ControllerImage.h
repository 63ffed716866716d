#pragma once
// The PC-side copy of everything read from or to be written to the controller.
// Byte fields hold 0-255; int16 fields are held in 32 bits and only their low 16 bits
// travel on the wire. All zero at start.
#include <array>
#include <cstdint>

namespace kv10 {

struct CompTable { float sp = 0; };
struct AlarmTable { float splo = 0, sphi = 0, hyst = 0; uint8_t rala = 0, rele = 0; };
struct SensTable { uint8_t type = 0, dp = 0; float strs = 0, ends = 0, offs = 0; uint8_t comp = 0; };
struct PidTable { float pb = 0, int_ = 0, der = 0; uint8_t tune = 0; };
struct RegoTable { uint8_t type = 0; int32_t dser = 0, dead = 0, f2 = 0, tpid = 0, ps = 0, per = 0; };
struct OnofTable { float phea = 0, pcoo = 0, hhea = 0, hcoo = 0; int32_t at = 0; uint8_t re_1 = 0, re_2 = 0; };
struct DacoTable { uint8_t a_in = 0, a_out = 0; float astr = 0, aend = 0; };
struct ErroTable { uint8_t re12 = 0, re_3 = 0, re_4 = 0, yout = 0; };
struct OstTable { float oplo = 0, ophi = 0; int32_t filt = 0, pass = 0; uint8_t lock = 0, res = 0; };
struct AddTable { uint8_t adresa = 0; int32_t zaznam = 0; };
struct LiveTable { float meas = 0; uint8_t outs = 0; float sp = 0; int32_t yout = 0; float ts = 0; uint8_t res = 0, fault = 0; };
struct RecdTable { uint8_t pos = 0; };
// GO and GOEXT share the first four fields: reading either updates them.
struct GoTable { uint8_t go = 0, hold = 0, pend = 0, pcut = 0; };
struct GoextTable { uint8_t date = 0, hour = 0, min = 0; };
struct TimeTable { uint8_t sec = 0, min = 0, hour = 0, wday = 0, mday = 0, mont = 0, year = 0; };
struct ProgTable { uint8_t prog = 0, c_pr = 0; };

constexpr int ProgramCount = 10;
constexpr int SegmentCount = 20;
constexpr int RecordValueCount = 256;
constexpr int RecordBlockCount = 16;

struct ControllerImage {
    CompTable comp;
    AlarmTable alarm1, alarm2;
    SensTable sens;
    PidTable pid;
    RegoTable rego;
    OnofTable onof;
    DacoTable daco;
    ErroTable erro;
    OstTable ost;
    AddTable add;
    LiveTable live;
    RecdTable recd;
    GoTable go;
    GoextTable goext;
    TimeTable time;
    ProgTable prog;

    std::array<float, ProgramCount> startValue{};
    std::array<std::array<float, SegmentCount>, ProgramCount> segmentSetpoint{};
    std::array<std::array<int32_t, SegmentCount>, ProgramCount> segmentTime{};
    std::array<float, RecordValueCount> recordValues{};

    // Zero-terminated identification texts.
    std::array<char, 250> deviceTypeText{};
    std::array<char, 250> deviceVersionText{};
    std::array<char, 255> foreignIdentText{};
};

} // namespace kv10
