#include "ParameterEditor.h"
#include "ui_ParameterEditor.h"

#include "EditorPages.h"
#include "NumberText.h"
#include "ProgramPage.h"
#include "Prompts.h"
#include "TableCodec.h"
#include "Telegram.h"

#include <QApplication>
#include <QKeyEvent>
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

ParameterEditor::ParameterEditor(TelegramLink& link, Prompts& prompts, Waiter& waiter, QWidget* parent)
    : QDialog(parent), ui(new Ui::ParameterEditor), m_link(link), m_image(link.image()), m_prompts(prompts),
      m_waiter(waiter)
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

    m_program = std::make_unique<ProgramPage>(*this, *ui, m_link, m_prompts, m_waiter);
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

int ParameterEditor::rejectField(QLineEdit& edit, const char* text)
{
    showInputError(m_prompts, text);
    edit.setText(QStringLiteral("0"));
    edit.setFocus();
    return -1;
}

int ParameterEditor::ParseFloatField(float& value, QLineEdit& edit)
{
    const std::optional<float> parsed = floatFromText(edit.text());
    value = parsed.value_or(0.0f);
    return parsed ? 0 : rejectField(edit, FloatInputText);
}

int ParameterEditor::ParseByteField(uint8_t& value, QLineEdit& edit)
{
    int32_t whole = 0;
    const int result = ParseIntField(whole, edit);
    // No range check: the low eight bits are kept (300 is 44, -1 is 255).
    value = static_cast<uint8_t>(whole);
    return result;
}

int ParameterEditor::ParseIntField(int32_t& value, QLineEdit& edit)
{
    const std::optional<int> parsed = parseInteger(edit.text());
    value = parsed.value_or(0);
    return parsed ? 0 : rejectField(edit, IntegerInputText);
}

int ParameterEditor::CheckRange(int lowest, int highest, int value)
{
    if (value >= lowest && value <= highest)
        return 0;
    m_prompts.message(QStringLiteral("Je nutné zadávat pouze čísla v rozsahu %1 až %2\n").arg(lowest).arg(highest),
                      QStringLiteral("EDIT"), PromptIcon::Error, PromptButton::Ok, nullptr);
    return -1;
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

void ParameterEditor::tl_cteniClick()
{
    showProgress(*ui->bar_load, 50);
    const int page = activePageIndex();
    bool ok = false;
    if (holdsPrograms(page)) {
        showProgress(*ui->bar_load, 90);
        ok = m_program->ReadEditedProgram();
    } else {
        showProgress(*ui->bar_load, 100);
        ok = m_link.ReadTable(transferTable(page));
    }
    if (!ok)
        showLinkError("Chyba při čtení");
    // The page shows the image again whether or not the read came: edits are discarded.
    ui->bar_load->setValue(100);
    ApplyVariantLayout(m_variant);
    ImageToPage(page);
    hideProgress();
}

void ParameterEditor::tl_zapisClick()
{
    showProgress(*ui->bar_load, 50);
    const int page = activePageIndex();
    bool ok = true;
    if (holdsPrograms(page)) {
        showProgress(*ui->bar_load, 60);
        if (PageToImage(page) == 0)
            ok = m_program->WriteEditedProgram();
    } else {
        showProgress(*ui->bar_load, 100);
        const int table = transferTable(page);
        if (PageToImage(page) == 0) {
            ok = m_link.WriteTable(table);
            // The following telegrams go to the controller's new address.
            if (ok && table == TableAdd)
                m_link.SetDA(m_image.add.adresa);
        }
    }
    // Nothing was sent when the page did not parse; its box has been shown.
    if (!ok)
        showLinkError("Chyba při zápisu");
    hideProgress();
}

void ParameterEditor::tl_eepromClick()
{
    // The controller stores what it already holds; no values are sent.
    showProgress(*ui->bar_load, 100);
    if (!m_link.StoreToEeprom())
        showLinkError("Chyba při zápisu do EEPROM");
    ui->bar_load->hide();
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
