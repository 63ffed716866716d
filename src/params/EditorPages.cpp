#include "EditorPages.h"

#include "NumberText.h"
#include "Prompts.h"
#include "TableCodec.h"

#include <QComboBox>
#include <QProgressBar>
#include <cmath>
#include <limits>

namespace kv10::editor {

namespace {

// Rows in transfer order, which is the field order of each table.
const Binding CompRows[] = {
    {"ed_comp", TableComp, "SP", Kind::Float},
};
// ALARM 1 and ALARM 2 are one layout over their own controls and table.
#define KV10_ALARM_ROWS(n)                                  \
    {"ed_splo" #n, TableAlarm##n, "SPLO", Kind::Float},     \
    {"ed_sphi" #n, TableAlarm##n, "SPHI", Kind::Float},     \
    {"ed_hyst" #n, TableAlarm##n, "HYST", Kind::Float},     \
    {"cb_rala" #n, TableAlarm##n, "RALA", Kind::Index},     \
    {"cb_re" #n, TableAlarm##n, "RELE", Kind::Index}
const Binding Alarm1Rows[] = {KV10_ALARM_ROWS(1)};
const Binding Alarm2Rows[] = {KV10_ALARM_ROWS(2)};
#undef KV10_ALARM_ROWS
const Binding PidRows[] = {
    {"ed_pb", TablePid, "PB", Kind::Float},
    {"ed_ti", TablePid, "INT", Kind::Float},
    {"ed_td", TablePid, "DER", Kind::Float},
    {"cb_tune", TablePid, "TUNE", Kind::Index},
};
const Binding RegoRows[] = {
    {"cb_type", TableRego, "TYPE", Kind::Index},
    {"ed_dser", TableRego, "DSER", Kind::Int},
    {"ed_dead", TableRego, "DEAD", Kind::Int},
    {"cb_f2", TableRego, "F2", Kind::Index},
    {"cb_tpid", TableRego, "TPID", Kind::IndexPlusOne},
    {"ed_ps", TableRego, "PS", Kind::Int},
    {"ed_per", TableRego, "PER", Kind::Int},
};
const Binding OnofRows[] = {
    {"ed_phea", TableOnof, "PHEA", Kind::Float},
    {"ed_pcoo", TableOnof, "PCOO", Kind::Float},
    {"ed_hhea", TableOnof, "HHEA", Kind::Float},
    {"ed_hcoo", TableOnof, "HCOO", Kind::Float},
    {"cb_at", TableOnof, "AT", Kind::Index},
    {"cb_onof_re1", TableOnof, "RE-1", Kind::Index},
    {"cb_onof_re2", TableOnof, "RE-2", Kind::Index},
};
const Binding SensRows[] = {
    {"cb_sens", TableSens, "TYPE", Kind::Index},
    {"cb_dp", TableSens, "DP", Kind::Index},
    {"ed_strs", TableSens, "STRS", Kind::Float},
    {"ed_ends", TableSens, "ENDS", Kind::Float},
    {"ed_offs", TableSens, "OFFS", Kind::Float},
    {"cb_komp", TableSens, "COMP", Kind::Index},
};
const Binding DacoRows[] = {
    {"cb_ain", TableDaco, "A-IN", Kind::Index},
    {"cb_aout", TableDaco, "A-OUT", Kind::Index},
    {"ed_astr", TableDaco, "ASTR", Kind::Float},
    {"ed_aend", TableDaco, "AEND", Kind::Float},
};
const Binding ErroRows[] = {
    {"cb_erro12", TableErro, "RE12", Kind::Index},
    {"cb_erro3", TableErro, "RE-3", Kind::Index},
    {"cb_erro4", TableErro, "RE-4", Kind::Index},
    {"cb_yout", TableErro, "YOUT", Kind::Index},
};
const Binding OstRows[] = {
    {"ed_oplo", TableOst, "OPLO", Kind::Float},
    {"ed_ophi", TableOst, "OPHI", Kind::Float},
    {"cb_filtr", TableOst, "FILT", Kind::Index},
    {"ed_pass", TableOst, "PASS", Kind::Int},
    {"cb_loc", TableOst, "LOCK", Kind::Index},
    {nullptr, TableOst, "RES", Kind::Zero},
};
const Binding AddRows[] = {
    {"ed_adresa", TableAdd, "ADRESA", Kind::SignedByte},
    {"ed_zaznam", TableAdd, "ZAZNAM", Kind::Int},
};
// The date rows come last: without them the page is GO's own four fields.
const Binding GoRows[] = {
    {"cb_go", TableGoext, "GO", Kind::Index},
    {"cb_hold", TableGoext, "HOLD", Kind::Index},
    {"cb_pend", TableGoext, "PEND", Kind::Index},
    {"cb_puc", TableGoext, "PCUT", Kind::Index},
    {"ed_godate", TableGoext, "DATE", Kind::Byte},
    {"ed_gohour", TableGoext, "HOUR", Kind::Byte},
    {"ed_gomin", TableGoext, "MIN", Kind::Byte},
};
const Binding TimeRows[] = {
    {"ed_sec", TableTime, "SEC", Kind::Byte},
    {"ed_min", TableTime, "MIN", Kind::Byte},
    {"ed_hour", TableTime, "HOUR", Kind::Byte},
    {"cb_wday", TableTime, "WDAY", Kind::IndexPlusOne},
    {"ed_mday", TableTime, "MDAY", Kind::Byte},
    {"ed_month", TableTime, "MONT", Kind::Byte},
    {"ed_year", TableTime, "YEAR", Kind::Byte},
};

const std::span<const Binding> Pages[] = {
    CompRows, Alarm1Rows, Alarm2Rows, PidRows, RegoRows, OnofRows, SensRows,
    DacoRows, ErroRows, OstRows, AddRows, GoRows, TimeRows,
};
constexpr int PageTables[] = {
    TableComp, TableAlarm1, TableAlarm2, TablePid, TableRego, TableOnof, TableSens,
    TableDaco, TableErro, TableOst, TableAdd, TableGo, TableTime,
};
constexpr int PageCount = int(std::size(PageTables));

} // namespace

const char* const FloatInputText = "Je nutné zadávat pouze čísla nebo desetinnou čárku";
const char* const IntegerInputText = "Je nutné zadávat pouze čísla";

std::span<const Binding> pageBindings(int page)
{
    return page >= 0 && page < PageCount ? Pages[page] : std::span<const Binding>();
}

int pageTable(int page)
{
    return page >= 0 && page < PageCount ? PageTables[page] : -1;
}

QStringList powerCutItems(bool withContinue)
{
    QStringList items = {
        QStringLiteral("OFF-ukončení programu s vypnutím"),
        QStringLiteral("RST-nový start programu"),
        QStringLiteral("SBY-udržování žádané hodnoty ( SBY)"),
    };
    if (withContinue)
        items << QStringLiteral("CONT-pokračování v programu") << QStringLiteral("LAST-udržování poslední dosažené SP");
    return items;
}

std::optional<float> floatFromText(const QString& text)
{
    const std::optional<double> value = parseNumber(text);
    // Beyond the float range the controller would get an infinity.
    if (!value || !std::isfinite(*value) || std::fabs(*value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(*value);
}

void showInputError(Prompts& prompts, const char* text)
{
    prompts.message(QString::fromUtf8(text), QStringLiteral("CHYBA"), PromptIcon::Warning, PromptButton::Ok,
                    nullptr);
}

void selectItem(QComboBox& combo, int index)
{
    combo.setCurrentIndex(index >= 0 && index < combo.count() ? index : -1);
}

void showProgress(QProgressBar& bar, int position)
{
    bar.setValue(position);
    bar.setVisible(true);
    bar.repaint();
}

} // namespace kv10::editor
