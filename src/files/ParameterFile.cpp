#include "ParameterFile.h"

#include "ControllerImage.h"
#include "EditorPages.h"
#include "ErrorBox.h"
#include "IniFile.h"
#include "NumberText.h"
#include "ParameterEditor.h"
#include "Prompts.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <optional>

using namespace kv10;

namespace {

const QString Version = QStringLiteral("KORVIN10 [V.1.0]");
const char* const Ident = "IDENT";
const char* const Comp = "COMP";
const QString Zero = QStringLiteral("0");

// One key of the pages ALARM 1 to GO: a combo box is kept as its item index, an edit as its text.
struct PageKey {
    int page;
    const char* section;
    const char* key;
    const char* control;
    const char* fallback;   // what loading takes when the file lacks the key
};

const PageKey PageKeys[] = {
    {ParameterEditor::PageAlarm1, "ALARM1", "RALA", "cb_rala1", "0"},
    {ParameterEditor::PageAlarm1, "ALARM1", "RELE", "cb_re1", "0"},
    {ParameterEditor::PageAlarm1, "ALARM1", "SPLO", "ed_splo1", "0"},
    {ParameterEditor::PageAlarm1, "ALARM1", "SPHI", "ed_sphi1", "100"},
    {ParameterEditor::PageAlarm1, "ALARM1", "HYST", "ed_hyst1", "1"},
    {ParameterEditor::PageAlarm2, "ALARM2", "RALA", "cb_rala2", "0"},
    {ParameterEditor::PageAlarm2, "ALARM2", "RELE", "cb_re2", "0"},
    {ParameterEditor::PageAlarm2, "ALARM2", "SPLO", "ed_splo2", "0"},
    {ParameterEditor::PageAlarm2, "ALARM2", "SPHI", "ed_sphi2", "100"},
    {ParameterEditor::PageAlarm2, "ALARM2", "HYST", "ed_hyst2", "1"},
    {ParameterEditor::PagePid, "PID", "PB", "ed_pb", "1"},
    {ParameterEditor::PagePid, "PID", "TI", "ed_ti", "100"},
    {ParameterEditor::PagePid, "PID", "TD", "ed_td", "1"},
    {ParameterEditor::PagePid, "PID", "TUNE", "cb_tune", "0"},
    {ParameterEditor::PageRego, "REGO", "TYPE", "cb_type", "0"},
    {ParameterEditor::PageRego, "REGO", "F2", "cb_f2", "0"},
    {ParameterEditor::PageRego, "REGO", "DSER", "ed_dser", "60"},
    {ParameterEditor::PageRego, "REGO", "DEAD", "ed_dead", "2"},
    {ParameterEditor::PageRego, "REGO", "TPID", "cb_tpid", "4"},
    {ParameterEditor::PageRego, "REGO", "PS", "ed_ps", "0"},
    {ParameterEditor::PageRego, "REGO", "PER", "ed_per", "10"},
    {ParameterEditor::PageOnof, "ONOF", "PHEA", "ed_phea", "-2"},
    {ParameterEditor::PageOnof, "ONOF", "PCOO", "ed_pcoo", "2"},
    {ParameterEditor::PageOnof, "ONOF", "HHEA", "ed_hhea", "1"},
    {ParameterEditor::PageOnof, "ONOF", "HCOO", "ed_hcoo", "1"},
    {ParameterEditor::PageOnof, "ONOF", "AT", "cb_at", "1"},
    {ParameterEditor::PageOnof, "ONOF", "RE_1", "cb_onof_re1", "0"},
    {ParameterEditor::PageOnof, "ONOF", "RE_2", "cb_onof_re2", "1"},
    {ParameterEditor::PageSens, "SENS", "STRS", "ed_strs", "0"},
    {ParameterEditor::PageSens, "SENS", "ENDS", "ed_ends", "100"},
    {ParameterEditor::PageSens, "SENS", "OFFS", "ed_offs", "0"},
    {ParameterEditor::PageSens, "SENS", "TYPE", "cb_sens", "4"},
    {ParameterEditor::PageSens, "SENS", "DP", "cb_dp", "1"},
    {ParameterEditor::PageSens, "SENS", "KOMP", "cb_komp", "1"},
    {ParameterEditor::PageDaco, "DACO", "AIN", "cb_ain", "0"},
    {ParameterEditor::PageDaco, "DACO", "AOUT", "cb_aout", "0"},
    {ParameterEditor::PageDaco, "DACO", "ASTR", "ed_astr", "0"},
    {ParameterEditor::PageDaco, "DACO", "AEND", "ed_aend", "100"},
    {ParameterEditor::PageErro, "ERRO", "RE12", "cb_erro12", "0"},
    {ParameterEditor::PageErro, "ERRO", "RE-3", "cb_erro3", "0"},
    {ParameterEditor::PageErro, "ERRO", "RE-4", "cb_erro4", "0"},
    {ParameterEditor::PageErro, "ERRO", "YOUT", "cb_yout", "0"},
    {ParameterEditor::PageOst, "OSTAT", "OPLO", "ed_oplo", "0"},
    {ParameterEditor::PageOst, "OSTAT", "OPHI", "ed_ophi", "100"},
    {ParameterEditor::PageOst, "OSTAT", "PASS", "ed_pass", "0"},
    {ParameterEditor::PageOst, "OSTAT", "FILT", "cb_filtr", "0"},
    {ParameterEditor::PageOst, "OSTAT", "LOCK", "cb_loc", "0"},
    {ParameterEditor::PageAdd, "ADD", "ADRESA", "ed_adresa", "0"},
    {ParameterEditor::PageAdd, "ADD", "ZAZNAM", "ed_zaznam", "60"},
    {ParameterEditor::PageGo, "GO", "BEH", "cb_go", "0"},
    {ParameterEditor::PageGo, "GO", "PEND", "cb_pend", "0"},
    {ParameterEditor::PageGo, "GO", "HOLD", "cb_hold", "0"},
    {ParameterEditor::PageGo, "GO", "PUC", "cb_puc", "0"},
    {ParameterEditor::PageGo, "GO", "DATE", "ed_godate", "0"},
    {ParameterEditor::PageGo, "GO", "HOUR", "ed_gohour", "0"},
    {ParameterEditor::PageGo, "GO", "MIN", "ed_gomin", "0"},
};

QComboBox& list(const ParameterEditor& editor, const char* name)
{
    return *editor.findChild<QComboBox*>(QLatin1String(name));
}

QLineEdit& field(const ParameterEditor& editor, const char* name)
{
    return *editor.findChild<QLineEdit*>(QLatin1String(name));
}

QString startKey(int program)
{
    return QStringLiteral("SP[%1]").arg(program);
}

QString segmentKey(const char* name, int program, int segment)
{
    return QStringLiteral("%1[%2][%3]").arg(QLatin1String(name)).arg(program).arg(segment);
}

FileDialogRequest fileRequest(ParameterEditor& editor, const QString& title, const QString& filter)
{
    FileDialogRequest request;
    request.title = title;
    request.fileName = QStringLiteral("Korvin10-xxxx");
    request.filter = filter;
    request.defaultSuffix = QStringLiteral("INI");
    request.owner = &editor;
    return request;
}

void writeSet(IniFile& ini, const ParameterEditor& editor, const ControllerImage& image)
{
    ini.writeString(Ident, "VERSION", Version);
    for (const PageKey& key : PageKeys) {
        const auto* combo = editor.findChild<QComboBox*>(QLatin1String(key.control));
        ini.writeString(key.section, key.key,
                        combo ? QString::number(combo->currentIndex()) : field(editor, key.control).text());
    }
    ini.writeString(Comp, "PROG", QString::number(list(editor, "cb_prog_typ").currentIndex()));
    ini.writeString(Comp, "C_PR", QString::number(list(editor, "cb_prog_cis").currentIndex()));
    ini.writeString(Comp, "SP", field(editor, "ed_comp").text());
    ini.writeString(Comp, "POCATEK", field(editor, "ed_pocatek").text());
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

// Each page takes its keys into its controls and then into the image, with the page's own checks.
void readPages(const IniFile& ini, ParameterEditor& editor)
{
    for (int page = ParameterEditor::PageAlarm1; page <= ParameterEditor::PageGo; ++page) {
        for (const PageKey& key : PageKeys) {
            if (key.page != page)
                continue;
            if (auto* combo = editor.findChild<QComboBox*>(QLatin1String(key.control)))
                editor::selectItem(*combo, ini.readInteger(key.section, key.key, QByteArray(key.fallback).toInt()));
            else
                field(editor, key.control).setText(ini.readString(key.section, key.key, QLatin1String(key.fallback)));
        }
        editor.PageToImage(page);
    }
}

// A COMP value that is no number stops the load at its key with the conversion's message.
class CompReader {
public:
    CompReader(const IniFile& ini, Prompts& prompts) : m_ini(ini), m_prompts(prompts) {}

    bool number(const QString& key, float& target) const
    {
        return take(key, target, editor::floatFromText, "'%1' is not a valid floating point value");
    }
    bool whole(const QString& key, int32_t& target) const
    {
        return take(key, target, parseInteger, "'%1' is not a valid integer value");
    }

private:
    template <typename T, typename Parse>
    bool take(const QString& key, T& target, Parse parse, const char* message) const
    {
        const QString text = m_ini.readString(Comp, key, Zero);
        const auto value = parse(text);
        if (value)
            target = *value;
        else
            showErrorBox(m_prompts, QString::fromLatin1(message).arg(text));
        return value.has_value();
    }

    const IniFile& m_ini;
    Prompts& m_prompts;
};

// False when a value stopped the load; what came before it stays taken.
bool readPrograms(const IniFile& ini, ParameterEditor& editor, ControllerImage& image, Prompts& prompts)
{
    // The program type and number stay as the page has them; the file's are not read.
    image.prog.prog = static_cast<uint8_t>(list(editor, "cb_prog_typ").currentIndex());
    image.prog.c_pr = static_cast<uint8_t>(list(editor, "cb_prog_cis").currentIndex());
    list(editor, "cb_usek").setCurrentIndex(0);
    field(editor, "ed_cas").setText(Zero);
    const CompReader read(ini, prompts);
    if (!read.number(QStringLiteral("SP"), image.comp.sp))
        return false;
    field(editor, "ed_pocatek").setText(ini.readString(Comp, "POCATEK", Zero));
    for (int program = 0; program < ProgramCount; ++program)
        if (!read.number(startKey(program), image.startValue[program]))
            return false;
    for (int program = 0; program < ProgramCount; ++program) {
        for (int segment = 0; segment < SegmentCount; ++segment) {
            if (!read.number(segmentKey("TEP", program, segment), image.segmentSetpoint[program][segment])
                || !read.whole(segmentKey("CAS", program, segment), image.segmentTime[program][segment]))
                return false;
        }
    }
    return true;
}

} // namespace

bool saveParameterSet(ParameterEditor& editor, const ControllerImage& image, const QString& path)
{
    editor.ShowImageOnPagesOutOfStep();
    // Every key goes into the content first and the file is replaced once: a failure half way
    // through leaves the old file whole instead of a mix of old and new keys.
    IniFile ini;
    if (!ini.load(path))
        return false;
    writeSet(ini, editor, image);
    return ini.save(path);
}

void loadParameterSet(ParameterEditor& editor, ControllerImage& image, Prompts& prompts, const QString& path)
{
    IniFile ini;
    if (!ini.load(path)) {
        showErrorBox(prompts, QStringLiteral("Cannot open file \"%1\"").arg(QDir::toNativeSeparators(path)));
        return;
    }
    // A file without the key passes: the default is the identification itself.
    if (!ini.readString(Ident, "VERSION", Version).startsWith(Version)) {
        prompts.message(QStringLiteral("INI soubor není typu KORVIN 10 [V.1.0]"), QStringLiteral("INI SOUBOR"),
                        PromptIcon::Error, PromptButton::Ok, nullptr);
        return;
    }
    readPages(ini, editor);
    if (readPrograms(ini, editor, image, prompts))
        editor.ImageToPage(ParameterEditor::PageComp);
}

void saveParameterFile(ParameterEditor& editor, ControllerImage& image, Prompts& prompts)
{
    const QString path = prompts.saveFile(
        fileRequest(editor, QStringLiteral("Uložit jako"), QStringLiteral("Parametry regulátoru[*.ini] (*.ini)")));
    if (path.isEmpty())
        return;
    if (!saveParameterSet(editor, image, path))
        showErrorBox(prompts, QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path)));
}

void openParameterFile(ParameterEditor& editor, ControllerImage& image, Prompts& prompts)
{
    FileDialogRequest request =
        fileRequest(editor, QStringLiteral("Otevřít"), QStringLiteral("Parametry regulátoru [*.ini] (*.ini)"));
    request.confirmOverwrite = false;
    const QString path = prompts.openFile(request);
    if (!path.isEmpty())
        loadParameterSet(editor, image, prompts, path);
}
