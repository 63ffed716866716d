#include "ParameterEditor.h"
#include "ui_ParameterEditor.h"

#include "EditorPages.h"
#include "NumberText.h"
#include "ProgramPage.h"
#include "Prompts.h"
#include "SequenceJob.h"
#include "SetTransfer.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QShowEvent>
#include <QStyle>
#include <QTabBar>
#include <algorithm>

using namespace kv10;
using namespace kv10::editor;

namespace {

constexpr int ClientWidth = 672;
constexpr int ClientHeight = 461;
const QColor Silver(0xC0, 0xC0, 0xC0);

// The field type a kind of row needs; Zero and the combo kinds take any width.
bool fitsField(Kind kind, FieldType type)
{
    switch (kind) {
    case Kind::Float: return type == FieldType::Float;
    case Kind::Int: return type == FieldType::Int16;
    case Kind::Byte:
    case Kind::SignedByte: return type == FieldType::Byte;
    default: return type != FieldType::Float;
    }
}

// What the pages show before anything is read: a list by item position, an edit by text.
struct ControlDefault {
    const char* control;
    const char* value;
};
constexpr ControlDefault PageDefaults[] = {
    {"cb_rala1", "0"}, {"cb_re1", "0"}, {"ed_splo1", "0"}, {"ed_sphi1", "100"}, {"ed_hyst1", "1"},
    {"cb_rala2", "0"}, {"cb_re2", "0"}, {"ed_splo2", "0"}, {"ed_sphi2", "100"}, {"ed_hyst2", "1"},
    {"ed_pb", "1"}, {"ed_ti", "100"}, {"ed_td", "1"}, {"cb_tune", "0"},
    {"cb_type", "0"}, {"cb_f2", "0"}, {"ed_dser", "60"}, {"ed_dead", "2"}, {"cb_tpid", "5"}, {"ed_ps", "0"},
    {"ed_per", "10"},
    {"ed_phea", "-2"}, {"ed_pcoo", "2"}, {"ed_hhea", "1"}, {"ed_hcoo", "1"}, {"cb_at", "1"},
    {"cb_onof_re1", "0"}, {"cb_onof_re2", "1"},
    {"ed_strs", "0"}, {"ed_ends", "100"}, {"ed_offs", "0"}, {"cb_sens", "4"}, {"cb_dp", "1"}, {"cb_komp", "1"},
    {"cb_ain", "0"}, {"cb_aout", "0"}, {"ed_astr", "0"}, {"ed_aend", "100"},
    {"cb_erro12", "0"}, {"cb_erro3", "0"}, {"cb_erro4", "0"}, {"cb_yout", "0"},
    {"ed_oplo", "0"}, {"ed_ophi", "100"}, {"ed_pass", "0"}, {"cb_filtr", "0"}, {"cb_loc", "0"},
    {"ed_adresa", "0"}, {"ed_zaznam", "60"},
    {"cb_go", "0"}, {"cb_pend", "0"}, {"cb_hold", "0"}, {"cb_puc", "0"}, {"ed_godate", "0"}, {"ed_gohour", "0"},
    {"ed_gomin", "0"},
};

// Keeps currentChanged of the page control from counting as the user's page change.
class ProgramSetsPage {
public:
    explicit ProgramSetsPage(bool& flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~ProgramSetsPage() { m_flag = m_was; }
    ProgramSetsPage(const ProgramSetsPage&) = delete;
    ProgramSetsPage& operator=(const ProgramSetsPage&) = delete;

private:
    bool& m_flag;
    bool m_was;
};

} // namespace

ParameterEditor::ParameterEditor(SessionRunner& runner, ControllerImage& image, Prompts& prompts, QWidget* parent)
    : QDialog(parent), ui(new Ui::ParameterEditor), m_runner(runner), m_image(image), m_prompts(prompts)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    // All thirteen tabs fit the designed width only with narrow tabs; no scroll arrows.
    if (auto* tabs = ui->PageControl->findChild<QTabBar*>())
        tabs->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 4px 6px; }"));
    ui->tl_eeprom->setIcon(style()->standardIcon(QStyle::SP_DriveFDIcon));
    ui->bar_load->hide();
    // Filled again by every variant layout; the five items until the first one.
    ui->cb_puc->addItems(powerCutItems(true));

    m_program = std::make_unique<ProgramPage>(
        ProgramPageCommands{[this] { tl_cteniClick(); }, [this] { tl_zapisClick(); }, [this] { sendProgramChoice(); }},
        *ui, m_image, m_prompts);
    bindPages();

    connect(ui->PageControl, &QTabWidget::currentChanged, this, [this](int index) {
        if (!m_settingPage)
            PageControlChange(index);
    });
    connect(ui->tl_cteni, &QPushButton::clicked, this, &ParameterEditor::tl_cteniClick);
    connect(ui->tl_zapis, &QPushButton::clicked, this, &ParameterEditor::tl_zapisClick);
    connect(ui->tl_eeprom, &QPushButton::clicked, this, &ParameterEditor::tl_eepromClick);
    connect(ui->tl_otevrit, &QPushButton::clicked, this, &ParameterEditor::tl_otevritClick);
    connect(ui->tl_ulozit, &QPushButton::clicked, this, &ParameterEditor::tl_ulozitClick);
    connect(ui->tl_cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Only the user's choice is a change; the program sets the combo boxes silently.
    connect(ui->cb_rala1, &QComboBox::activated, this, &ParameterEditor::cb_rala1Change);
    connect(ui->cb_rala2, &QComboBox::activated, this, &ParameterEditor::cb_rala2Change);
    // A transfer that threw has no `done`; once nothing is pending it has ended all the same.
    connect(&m_runner, &SessionRunner::busyChanged, this, [this](bool busy) {
        if (!busy && m_job)
            transferEnded();
    });
}

ParameterEditor::~ParameterEditor()
{
    delete ui;
}

void ParameterEditor::bindPages()
{
    for (int page = 0; page < PageCount; ++page) {
        for (const Binding& binding : pageBindings(page)) {
            const TableField* field = findField(tableInfo(binding.table), QLatin1String(binding.field));
            QWidget* control = binding.control ? findChild<QWidget*>(QLatin1String(binding.control)) : nullptr;
            const bool needsControl = binding.kind != Kind::Zero;
            const bool isEdit = qobject_cast<QLineEdit*>(control) != nullptr;
            const bool isCombo = qobject_cast<QComboBox*>(control) != nullptr;
            const bool combo = binding.kind == Kind::Index || binding.kind == Kind::IndexPlusOne;
            const bool itemsAsBound = !isCombo || static_cast<QComboBox*>(control)->count() == binding.items;
            if (!field || !fitsField(binding.kind, field->type) || (needsControl && !(combo ? isCombo : isEdit))
                || !itemsAsBound) {
                qWarning("ParameterEditor: no control or field for %s.%s", tableInfo(binding.table).name,
                         binding.field);
                continue;
            }
            m_rows[page].push_back({&binding, control, field});
        }
    }
}

QTabWidget& ParameterEditor::pageControl()
{
    return *ui->PageControl;
}

int ParameterEditor::pageTag(int index) const
{
    return pageTable(index);
}

int ParameterEditor::activePageIndex() const
{
    return ui->PageControl->currentIndex();
}

void ParameterEditor::setActivePage(int index)
{
    const ProgramSetsPage programSetsPage(m_settingPage);
    ui->PageControl->setCurrentIndex(index);
}

void ParameterEditor::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void ParameterEditor::hideEvent(QHideEvent* event)
{
    if (m_job)
        m_job->request();
    QDialog::hideEvent(event);
}

void ParameterEditor::keyPressEvent(QKeyEvent* event)
{
    // No button is the default: Enter presses the focused button and nothing else.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ParameterEditor::FormShow()
{
    setActivePage(PageComp);
    // The read-out has just filled the image behind every page.
    m_pageInStep.reset();
    m_variant = m_variantSource ? m_variantSource() : 0;
    ui->cb_usek->setCurrentIndex(0);
    ApplyVariantLayout(m_variant);
    ImageToPage(PageComp);
    m_currentPage = PageComp;
}

void ParameterEditor::PageControlChange(int newIndex)
{
    if (PageToImage(m_currentPage) != 0) {
        // The page that failed to parse stays active; the focus is on its last bad field.
        setActivePage(m_currentPage);
        return;
    }
    ImageToPage(newIndex);
    m_currentPage = newIndex;
}

void ParameterEditor::ApplyVariantLayout(int variant)
{
    const bool programs = hasPrograms(variant);
    const bool clock = hasClock(variant);
    m_program->setProgramControlsVisible(programs);
    if (programs)
        m_program->ApplyProgramLayout();
    {
        // Hiding the open tab makes the page control open another one by itself.
        const ProgramSetsPage programSetsPage(m_settingPage);
        ui->PageControl->setTabVisible(PageGo, programs);
        ui->PageControl->setTabVisible(PageTime, clock);
    }
    for (QWidget* date : {ui->ed_godate, ui->ed_gohour, ui->ed_gomin}) {
        date->setVisible(clock);
        findChild<QWidget*>(date->objectName() + QLatin1String("_label"))->setVisible(clock);
        findChild<QWidget*>(date->objectName() + QLatin1String("_description"))->setVisible(clock);
    }
    ui->cb_puc->clear();
    ui->cb_puc->addItems(powerCutItems(clock));
    m_pageInStep.reset(PageGo);
}

void ParameterEditor::ShowImageOnPagesOutOfStep()
{
    for (int page = PageAlarm1; page <= PageGo; ++page)
        if (!m_pageInStep[page])
            ImageToPage(page);
}

std::span<const ParameterEditor::BoundRow> ParameterEditor::rowsOf(int page) const
{
    const std::span<const BoundRow> rows = m_rows[page];
    return rows.first(std::min(rows.size(), variantBindings(page, m_variant).size()));
}

int ParameterEditor::PageToImage(int page)
{
    if (page < 0 || page >= PageCount)
        return 0;
    m_pageInStep.set(page);
    if (holdsPrograms(page))
        return m_program->PageToImage();
    return rowsToImage(rowsOf(page));
}

void ParameterEditor::ImageToPage(int page)
{
    if (page < 0 || page >= PageCount)
        return;
    m_pageInStep.set(page);
    if (holdsPrograms(page)) {
        m_program->ImageToPage();
        return;
    }
    rowsToPage(rowsOf(page));
    if (page == PageAlarm1)
        cb_rala1Change();
    else if (page == PageAlarm2)
        cb_rala2Change();
}

int ParameterEditor::rowsToImage(std::span<const BoundRow> rows)
{
    // Every field is taken even after one has failed; each failure shows its own box.
    int result = 0;
    for (const BoundRow& row : rows) {
        void* value = row.field->locate(m_image);
        auto* edit = qobject_cast<QLineEdit*>(row.control);
        int parsed = 0;
        switch (row.binding->kind) {
        case Kind::Float: parsed = ParseFloatField(*static_cast<float*>(value), *edit); break;
        case Kind::Int: parsed = ParseIntField(*static_cast<int32_t*>(value), *edit); break;
        case Kind::Byte:
        case Kind::SignedByte: parsed = ParseByteField(*static_cast<uint8_t*>(value), *edit); break;
        case Kind::Index:
        case Kind::IndexPlusOne: {
            // No selection is -1, narrowed to the field's width (255 in a byte).
            const int offset = row.binding->kind == Kind::IndexPlusOne ? 1 : 0;
            setFieldValue(m_image, *row.field, static_cast<QComboBox*>(row.control)->currentIndex() + offset);
            break;
        }
        case Kind::Zero: setFieldValue(m_image, *row.field, 0); break;
        }
        if (parsed != 0)
            result = -1;
    }
    return result;
}

void ParameterEditor::rowsToPage(std::span<const BoundRow> rows)
{
    for (const BoundRow& row : rows) {
        if (auto* edit = qobject_cast<QLineEdit*>(row.control))
            edit->setText(editText(*row.binding, m_image));
        else if (auto* combo = qobject_cast<QComboBox*>(row.control))
            selectItem(*combo, listPosition(*row.binding, m_image, m_variant));
    }
}

int ParameterEditor::ParseFloatField(float& value, QLineEdit& edit)
{
    return parseFloatField(m_prompts, value, edit);
}

int ParameterEditor::ParseByteField(uint8_t& value, QLineEdit& edit)
{
    return parseByteField(m_prompts, value, edit);
}

int ParameterEditor::ParseIntField(int32_t& value, QLineEdit& edit)
{
    return parseIntField(m_prompts, value, edit);
}

int ParameterEditor::CheckRange(int lowest, int highest, int value)
{
    return checkRange(m_prompts, lowest, highest, value);
}

QWidget* ParameterEditor::boundControl(QLatin1StringView control) const
{
    for (const std::vector<BoundRow>& rows : m_rows)
        for (const BoundRow& row : rows)
            if (row.control && control == QLatin1StringView(row.binding->control))
                return row.control;
    return nullptr;
}

bool ParameterEditor::isPageList(QLatin1StringView control) const
{
    return qobject_cast<QComboBox*>(boundControl(control)) != nullptr;
}

int ParameterEditor::pageListPosition(QLatin1StringView control) const
{
    const auto* list = qobject_cast<QComboBox*>(boundControl(control));
    return list ? list->currentIndex() : -1;
}

void ParameterEditor::setPageListPosition(QLatin1StringView control, int position)
{
    if (auto* list = qobject_cast<QComboBox*>(boundControl(control))) {
        // Like a selection made by the program: no change event runs.
        const QSignalBlocker quiet(list);
        selectItem(*list, position);
    }
}

QString ParameterEditor::pageFieldText(QLatin1StringView control) const
{
    const auto* edit = qobject_cast<QLineEdit*>(boundControl(control));
    return edit ? edit->text() : QString();
}

void ParameterEditor::setPageFieldText(QLatin1StringView control, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(boundControl(control)))
        edit->setText(text);
}

sets::CompPageTexts ParameterEditor::compPageTexts() const
{
    return {QString::number(programTypeChoice()), QString::number(programNumberChoice()), ui->ed_comp->text(),
            ui->ed_pocatek->text()};
}

int ParameterEditor::programTypeChoice() const
{
    return ui->cb_prog_typ->currentIndex();
}

int ParameterEditor::programNumberChoice() const
{
    return ui->cb_prog_cis->currentIndex();
}

void ParameterEditor::setStartValueText(const QString& text)
{
    ui->ed_pocatek->setText(text);
}

void ParameterEditor::resetSegmentEntry()
{
    ui->cb_usek->setCurrentIndex(0);
    ui->ed_cas->setText(QStringLiteral("0"));
}

void ParameterEditor::resetControls()
{
    for (const ControlDefault& preset : PageDefaults) {
        const QLatin1StringView control(preset.control);
        if (isPageList(control))
            setPageListPosition(control, QByteArray(preset.value).toInt());
        else
            setPageFieldText(control, QString::fromLatin1(preset.value));
    }
    // The program type SP and program 0, chosen silently.
    for (QComboBox* list : {ui->cb_prog_typ, ui->cb_prog_cis}) {
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(0);
    }
}

void ParameterEditor::applySploColour(const QComboBox& rala, QLineEdit& splo)
{
    // WIN and DWI use a lower limit; the other modes grey it out, but it stays editable.
    constexpr int FirstModeWithLowerLimit = 2;
    QPalette palette = splo.palette();
    palette.setColor(QPalette::Base, rala.currentIndex() >= FirstModeWithLowerLimit
                                         ? QApplication::palette(&splo).color(QPalette::Base)
                                         : Silver);
    splo.setPalette(palette);
}

void ParameterEditor::cb_rala1Change()
{
    applySploColour(*ui->cb_rala1, *ui->ed_splo1);
}

void ParameterEditor::cb_rala2Change()
{
    applySploColour(*ui->cb_rala2, *ui->ed_splo2);
}

void ParameterEditor::showLinkError(const char* text)
{
    m_prompts.message(QString::fromUtf8(text), QStringLiteral("Komunikace"), PromptIcon::Error, PromptButton::Ok,
                      nullptr);
}

bool ParameterEditor::holdsPrograms(int page) const
{
    return m_variant != 1 && page == PageComp;
}

int ParameterEditor::transferTable(int page) const
{
    return editor::transferTable(page, m_variant);
}

void ParameterEditor::hideProgress()
{
    ui->bar_load->hide();
    ui->bar_load->setValue(0);
}

void ParameterEditor::runTransfer(std::function<core::SequenceResult(core::Sequence&)> body, const char* stoppedText,
                                  std::function<void(const core::SequenceResult&)> done)
{
    // Only the program calls a command while one runs; the user finds them disabled.
    if (m_job)
        return;
    enableCommands(false);
    const StopHandle stop = std::make_shared<StopRequest>();
    m_job = stop;
    core::postSequence(
        m_runner, this, m_image, core::ImageUse::Whole, std::move(body),
        [this](const core::Progress& step) { showProgress(*ui->bar_load, step.position); },
        [this, stoppedText, done = std::move(done)](const core::SequenceResult& result) {
            transferEnded();
            showNotice(m_prompts, result.notice);
            if (result.stopped) {
                hideProgress();
                m_prompts.message(QString::fromUtf8(stoppedText), QStringLiteral("Komunikace"), PromptIcon::Information,
                                  PromptButton::Ok, nullptr);
                return;
            }
            done(result);
        },
        stop);
}

void ParameterEditor::transferEnded()
{
    m_job.reset();
    enableCommands(true);
}

void ParameterEditor::enableCommands(bool enabled)
{
    // The pages too: a page left moves its values into the image that the transfer replaces.
    ui->PageControl->setEnabled(enabled);
    for (QPushButton* command : {ui->tl_cteni, ui->tl_zapis, ui->tl_eeprom, ui->tl_otevrit, ui->tl_ulozit})
        command->setEnabled(enabled);
}

void ParameterEditor::tl_cteniClick()
{
    showProgress(*ui->bar_load, 50);
    const int page = activePageIndex();
    std::function<core::SequenceResult(core::Sequence&)> read;
    if (holdsPrograms(page)) {
        showProgress(*ui->bar_load, 90);
        read = m_program->ReadEditedProgram();
    } else {
        showProgress(*ui->bar_load, 100);
        read = [table = transferTable(page)](core::Sequence& sequence) {
            sequence.readTable(table);
            return sequence.finish();
        };
    }
    runTransfer(std::move(read), "Čtení přerušeno.", [this, page](const core::SequenceResult& read) {
        if (!read.ok)
            showLinkError("Chyba při čtení");
        // The page shows the image again whether or not the read came: edits are discarded.
        ui->bar_load->setValue(100);
        ApplyVariantLayout(m_variant);
        ImageToPage(page);
        hideProgress();
    });
}

void ParameterEditor::tl_zapisClick()
{
    showProgress(*ui->bar_load, 50);
    const int page = activePageIndex();
    std::function<core::SequenceResult(core::Sequence&)> write;
    if (holdsPrograms(page)) {
        showProgress(*ui->bar_load, 60);
        if (PageToImage(page) == 0)
            write = &ProgramPage::WriteEditedProgram;
    } else {
        showProgress(*ui->bar_load, 100);
        if (PageToImage(page) == 0) {
            write = [table = transferTable(page)](core::Sequence& sequence) {
                core::writeTableFollowingAddress(sequence, table);
                return sequence.finish();
            };
        }
    }
    // Nothing is sent when the page did not parse; its box has been shown.
    if (!write) {
        hideProgress();
        return;
    }
    runTransfer(std::move(write), "Zápis přerušen.", [this](const core::SequenceResult& written) {
        if (!written.ok)
            showLinkError("Chyba při zápisu");
        hideProgress();
    });
}

void ParameterEditor::tl_eepromClick()
{
    // The controller stores what it already holds; no values are sent.
    showProgress(*ui->bar_load, 100);
    runTransfer(
        [](core::Sequence& sequence) {
            // The link keeps its notice for the next command that shows one.
            core::SequenceResult stored;
            stored.ok = sequence.exchange(QStringLiteral("EEPROM"), [&] { return sequence.link().StoreToEeprom(); });
            stored.stopped = !stored.ok && sequence.ok();
            return stored;
        },
        "Zápis do EEPROM přerušen.",
        [this](const core::SequenceResult& stored) {
            if (!stored.ok)
                showLinkError("Chyba při zápisu do EEPROM");
            ui->bar_load->hide();
        });
}

void ParameterEditor::sendProgramChoice()
{
    runTransfer(
        [](core::Sequence& sequence) {
            sequence.writeTable(TableProg);
            return sequence.finish();
        },
        "Zápis přerušen.",
        // The controller switches at once, whatever it answered; the read shows the program anew.
        [this](const core::SequenceResult&) { tl_cteniClick(); });
}

void ParameterEditor::tl_otevritClick()
{
    if (m_openFile)
        m_openFile();
}

void ParameterEditor::tl_ulozitClick()
{
    if (m_saveFile)
        m_saveFile();
}
