#include "ParameterFile.h"

#include "ControllerImage.h"
#include "EditorPages.h"
#include "ErrorBox.h"
#include "IniFile.h"
#include "NumberText.h"
#include "ParameterEditor.h"
#include "ParameterSet.h"
#include "Prompts.h"

#include <QDir>
#include <optional>

using namespace kv10;

namespace {

const char* const Comp = "COMP";
const QString Zero = QStringLiteral("0");

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
    const auto pageText = [&editor](const sets::PageKey& key) {
        const QLatin1StringView control(key.control);
        return editor.isPageList(control) ? QString::number(editor.pageListPosition(control))
                                          : editor.pageFieldText(control);
    };
    sets::writeParameterSet(ini, pageText, editor.compPageTexts(), image);
}

// Each page takes its keys into its controls and then into the image, with the page's own checks.
void readPages(const IniFile& ini, ParameterEditor& editor)
{
    for (int page = ParameterEditor::PageAlarm1; page <= ParameterEditor::PageGo; ++page) {
        for (const sets::PageKey& key : sets::pageKeys()) {
            if (key.page != page)
                continue;
            const QLatin1StringView control(key.control);
            if (editor.isPageList(control))
                editor.setPageListPosition(control, ini.readInteger(key.section, key.key, QByteArray(key.fallback).toInt()));
            else
                editor.setPageFieldText(control, ini.readString(key.section, key.key, QLatin1String(key.fallback)));
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
    image.prog.prog = static_cast<uint8_t>(editor.programTypeChoice());
    image.prog.c_pr = static_cast<uint8_t>(editor.programNumberChoice());
    editor.resetSegmentEntry();
    const CompReader read(ini, prompts);
    if (!read.number(QStringLiteral("SP"), image.comp.sp))
        return false;
    editor.setStartValueText(ini.readString(Comp, "POCATEK", Zero));
    for (int program = 0; program < ProgramCount; ++program)
        if (!read.number(sets::startKey(program), image.startValue[program]))
            return false;
    for (int program = 0; program < ProgramCount; ++program) {
        for (int segment = 0; segment < SegmentCount; ++segment) {
            if (!read.number(sets::segmentKey("TEP", program, segment), image.segmentSetpoint[program][segment])
                || !read.whole(sets::segmentKey("CAS", program, segment), image.segmentTime[program][segment]))
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
    if (!sets::versionAccepted(ini)) {
        prompts.message(QString::fromUtf8(sets::WrongVersionText), QStringLiteral("INI SOUBOR"),
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
