#include "ParameterSet.h"

#include "ControllerImage.h"
#include "NumberText.h"
#include "TableCodec.h"

namespace kv10::sets {

namespace {

using editor::Binding;
using editor::Kind;
using editor::PageIndices;

const char* const Ident = "IDENT";
const char* const Comp = "COMP";
const char* const Zero = "0";
// What the COMP page's entry fields hold until the user types into them.
const QString EntryFieldText = QStringLiteral("0");
constexpr int ProgramTypeItems = 3;
constexpr int ProgramTypeRamp = 1;

const PageKey PageKeys[] = {
    {PageIndices::PageAlarm1, "ALARM1", "RALA", "cb_rala1", "0"},
    {PageIndices::PageAlarm1, "ALARM1", "RELE", "cb_re1", "0"},
    {PageIndices::PageAlarm1, "ALARM1", "SPLO", "ed_splo1", "0"},
    {PageIndices::PageAlarm1, "ALARM1", "SPHI", "ed_sphi1", "100"},
    {PageIndices::PageAlarm1, "ALARM1", "HYST", "ed_hyst1", "1"},
    {PageIndices::PageAlarm2, "ALARM2", "RALA", "cb_rala2", "0"},
    {PageIndices::PageAlarm2, "ALARM2", "RELE", "cb_re2", "0"},
    {PageIndices::PageAlarm2, "ALARM2", "SPLO", "ed_splo2", "0"},
    {PageIndices::PageAlarm2, "ALARM2", "SPHI", "ed_sphi2", "100"},
    {PageIndices::PageAlarm2, "ALARM2", "HYST", "ed_hyst2", "1"},
    {PageIndices::PagePid, "PID", "PB", "ed_pb", "1"},
    {PageIndices::PagePid, "PID", "TI", "ed_ti", "100"},
    {PageIndices::PagePid, "PID", "TD", "ed_td", "1"},
    {PageIndices::PagePid, "PID", "TUNE", "cb_tune", "0"},
    {PageIndices::PageRego, "REGO", "TYPE", "cb_type", "0"},
    {PageIndices::PageRego, "REGO", "F2", "cb_f2", "0"},
    {PageIndices::PageRego, "REGO", "DSER", "ed_dser", "60"},
    {PageIndices::PageRego, "REGO", "DEAD", "ed_dead", "2"},
    {PageIndices::PageRego, "REGO", "TPID", "cb_tpid", "4"},
    {PageIndices::PageRego, "REGO", "PS", "ed_ps", "0"},
    {PageIndices::PageRego, "REGO", "PER", "ed_per", "10"},
    {PageIndices::PageOnof, "ONOF", "PHEA", "ed_phea", "-2"},
    {PageIndices::PageOnof, "ONOF", "PCOO", "ed_pcoo", "2"},
    {PageIndices::PageOnof, "ONOF", "HHEA", "ed_hhea", "1"},
    {PageIndices::PageOnof, "ONOF", "HCOO", "ed_hcoo", "1"},
    {PageIndices::PageOnof, "ONOF", "AT", "cb_at", "1"},
    {PageIndices::PageOnof, "ONOF", "RE_1", "cb_onof_re1", "0"},
    {PageIndices::PageOnof, "ONOF", "RE_2", "cb_onof_re2", "1"},
    {PageIndices::PageSens, "SENS", "STRS", "ed_strs", "0"},
    {PageIndices::PageSens, "SENS", "ENDS", "ed_ends", "100"},
    {PageIndices::PageSens, "SENS", "OFFS", "ed_offs", "0"},
    {PageIndices::PageSens, "SENS", "TYPE", "cb_sens", "4"},
    {PageIndices::PageSens, "SENS", "DP", "cb_dp", "1"},
    {PageIndices::PageSens, "SENS", "KOMP", "cb_komp", "1"},
    {PageIndices::PageDaco, "DACO", "AIN", "cb_ain", "0"},
    {PageIndices::PageDaco, "DACO", "AOUT", "cb_aout", "0"},
    {PageIndices::PageDaco, "DACO", "ASTR", "ed_astr", "0"},
    {PageIndices::PageDaco, "DACO", "AEND", "ed_aend", "100"},
    {PageIndices::PageErro, "ERRO", "RE12", "cb_erro12", "0"},
    {PageIndices::PageErro, "ERRO", "RE-3", "cb_erro3", "0"},
    {PageIndices::PageErro, "ERRO", "RE-4", "cb_erro4", "0"},
    {PageIndices::PageErro, "ERRO", "YOUT", "cb_yout", "0"},
    {PageIndices::PageOst, "OSTAT", "OPLO", "ed_oplo", "0"},
    {PageIndices::PageOst, "OSTAT", "OPHI", "ed_ophi", "100"},
    {PageIndices::PageOst, "OSTAT", "PASS", "ed_pass", "0"},
    {PageIndices::PageOst, "OSTAT", "FILT", "cb_filtr", "0"},
    {PageIndices::PageOst, "OSTAT", "LOCK", "cb_loc", "0"},
    {PageIndices::PageAdd, "ADD", "ADRESA", "ed_adresa", "0"},
    {PageIndices::PageAdd, "ADD", "ZAZNAM", "ed_zaznam", "60"},
    {PageIndices::PageGo, "GO", "BEH", "cb_go", "0"},
    {PageIndices::PageGo, "GO", "PEND", "cb_pend", "0"},
    {PageIndices::PageGo, "GO", "HOLD", "cb_hold", "0"},
    {PageIndices::PageGo, "GO", "PUC", "cb_puc", "0"},
    {PageIndices::PageGo, "GO", "DATE", "ed_godate", "0"},
    {PageIndices::PageGo, "GO", "HOUR", "ed_gohour", "0"},
    {PageIndices::PageGo, "GO", "MIN", "ed_gomin", "0"},
};

bool isList(const Binding& binding)
{
    return binding.kind == Kind::Index || binding.kind == Kind::IndexPlusOne;
}

const Binding& bindingOf(const PageKey& key)
{
    return *editor::findBinding(key.page, QLatin1StringView(key.control));
}

const Binding& singleSetpoint()
{
    return editor::pageBindings(PageIndices::PageComp).front();
}

QString position(int value, int items)
{
    return QString::number(value >= 0 && value < items ? value : -1);
}

// A value as it travels in a field of that type.
double asStored(double value, FieldType type)
{
    switch (type) {
    case FieldType::Byte: return static_cast<uint8_t>(static_cast<int32_t>(value));
    case FieldType::Int16: return static_cast<uint16_t>(static_cast<int32_t>(value));
    default: return value;
    }
}

bool variantHas(const Binding& binding, int page, int variant)
{
    const std::span<const Binding> rows = editor::variantBindings(page, variant);
    return &binding >= rows.data() && &binding < rows.data() + rows.size();
}

} // namespace

const char* const VersionText = "KORVIN10 [V.1.0]";
const char* const WrongVersionText = "INI soubor není typu KORVIN 10 [V.1.0]";

std::span<const PageKey> pageKeys()
{
    return PageKeys;
}

QString startKey(int program)
{
    return QStringLiteral("SP[%1]").arg(program);
}

QString segmentKey(const char* name, int program, int segment)
{
    return QStringLiteral("%1[%2][%3]").arg(QLatin1String(name)).arg(program).arg(segment);
}

void writeParameterSet(IniFile& ini, const PageText& pageText, const CompPageTexts& comp,
                       const ControllerImage& image)
{
    ini.writeString(Ident, "VERSION", QLatin1String(VersionText));
    for (const PageKey& key : PageKeys)
        ini.writeString(key.section, key.key, pageText(key));
    ini.writeString(Comp, "PROG", comp.programType);
    ini.writeString(Comp, "C_PR", comp.programNumber);
    ini.writeString(Comp, "SP", comp.setpoint);
    ini.writeString(Comp, "POCATEK", comp.startValue);
    for (int program = 0; program < ProgramCount; ++program)
        ini.writeString(Comp, startKey(program), fixedNumberText(image.startValue[program]));
    for (int program = 0; program < ProgramCount; ++program) {
        for (int segment = 0; segment < SegmentCount; ++segment) {
            ini.writeString(Comp, segmentKey("TEP", program, segment),
                            fixedNumberText(image.segmentSetpoint[program][segment]));
            ini.writeString(Comp, segmentKey("CAS", program, segment),
                            QString::number(image.segmentTime[program][segment]));
        }
    }
}

void writeReadOutSet(IniFile& ini, const ControllerImage& image, int variant)
{
    const auto pageText = [&image, variant](const PageKey& key) {
        const Binding& binding = bindingOf(key);
        return isList(binding) ? QString::number(editor::listPosition(binding, image, variant))
                               : editor::editText(binding, image);
    };
    CompPageTexts comp{Zero, Zero, EntryFieldText, EntryFieldText};
    if (!editor::hasPrograms(variant)) {
        comp.setpoint = editor::editText(singleSetpoint(), image);
    } else {
        // The COMP page shows the controller's current program; a RAMP its start value too.
        const int program = image.prog.c_pr;
        comp.programType = position(image.prog.prog, ProgramTypeItems);
        comp.programNumber = position(program, ProgramCount);
        if (image.prog.prog == ProgramTypeRamp)
            comp.startValue = program < ProgramCount ? fixedNumberText(image.startValue[program]) : QString();
    }
    writeParameterSet(ini, pageText, comp, image);
}

bool versionAccepted(const IniFile& ini)
{
    const QString version = QLatin1String(VersionText);
    return ini.readString(Ident, "VERSION", version).startsWith(version);
}

std::vector<SetValue> setValues(int variant)
{
    const bool any = variant == AnyVariant;
    std::vector<SetValue> values;
    const int lastPage = any || editor::hasPrograms(variant) ? PageIndices::PageGo : PageIndices::PageAdd;
    for (const PageKey& key : PageKeys) {
        const Binding& binding = bindingOf(key);
        if (key.page <= lastPage && (any || variantHas(binding, key.page, variant)))
            values.push_back({SetValue::Page, key.section, QLatin1String(key.key), key.fallback, &binding, 0, 0});
    }
    if (any || !editor::hasPrograms(variant))
        values.push_back({SetValue::Page, Comp, QStringLiteral("SP"), Zero, &singleSetpoint(), 0, 0});
    if (!any && !editor::hasPrograms(variant))
        return values;
    for (int program = 0; program < ProgramCount; ++program)
        values.push_back({SetValue::Start, Comp, startKey(program), Zero, nullptr, program, 0});
    for (int program = 0; program < ProgramCount; ++program) {
        for (int segment = 0; segment < SegmentCount; ++segment) {
            values.push_back({SetValue::Setpoint, Comp, segmentKey("TEP", program, segment), Zero, nullptr, program,
                              segment});
            values.push_back({SetValue::Time, Comp, segmentKey("CAS", program, segment), Zero, nullptr, program,
                              segment});
        }
    }
    return values;
}

QString fileText(const IniFile& ini, const SetValue& value)
{
    return ini.readString(value.section, value.key, QLatin1String(value.fallback));
}

QString valueText(const SetValue& value, const ControllerImage& image, int variant)
{
    switch (value.part) {
    case SetValue::Page:
        return isList(*value.binding) ? QString::number(editor::listPosition(*value.binding, image, variant))
                                      : editor::editText(*value.binding, image);
    case SetValue::Start: return fixedNumberText(image.startValue[value.program]);
    case SetValue::Setpoint: return fixedNumberText(image.segmentSetpoint[value.program][value.segment]);
    case SetValue::Time: return QString::number(image.segmentTime[value.program][value.segment]);
    }
    return {};
}

std::optional<double> storedNumber(const SetValue& value, const QString& text, int variant)
{
    if (value.part == SetValue::Start || value.part == SetValue::Setpoint) {
        const std::optional<float> number = editor::floatFromText(text);
        return number ? std::optional<double>(*number) : std::nullopt;
    }
    if (value.part == SetValue::Time) {
        const std::optional<int> number = parseInteger(text);
        return number ? std::optional<double>(asStored(*number, FieldType::Int16)) : std::nullopt;
    }
    const Binding& binding = *value.binding;
    const FieldType type = editor::fieldOf(binding).type;
    if (!isList(binding)) {
        const std::optional<double> number = editor::editValue(binding.kind, text);
        return number ? std::optional<double>(asStored(*number, type)) : std::nullopt;
    }
    const std::optional<int> position = parseInteger(text);
    if (!position || *position < 0 || *position >= editor::listItemCount(binding, variant))
        return std::nullopt;
    return asStored(*position + (binding.kind == Kind::IndexPlusOne ? 1 : 0), type);
}

void storeNumber(const SetValue& value, double number, ControllerImage& image)
{
    switch (value.part) {
    case SetValue::Page: setFieldValue(image, editor::fieldOf(*value.binding), number); break;
    case SetValue::Start: image.startValue[value.program] = static_cast<float>(number); break;
    case SetValue::Setpoint: image.segmentSetpoint[value.program][value.segment] = static_cast<float>(number); break;
    case SetValue::Time: image.segmentTime[value.program][value.segment] = static_cast<int32_t>(number); break;
    }
}

} // namespace kv10::sets
