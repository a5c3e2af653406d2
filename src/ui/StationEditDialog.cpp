#include "ui/StationEditDialog.h"

#include "common/Codepage.h"
#include "common/Format.h"
#include "ui/DialogLoader.h"
#include "ui/MessageBoxes.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

namespace zeb::ui {
namespace {

using stations::StationRecord;

constexpr double kMaxFrequencyKhz = 1.0e8;  // 100 GHz

enum class Group { Station, Teleprinter, Fax };

// The fields with a label, and for the numbers their range.
struct FieldInfo {
    int id;
    int StationTexts::*label;
    const char* english;
    Group group;
    double min;
    double max;
};

constexpr FieldInfo kFields[] = {
    {kFrequencyField, &StationTexts::frequencyLabel, "Frequency", Group::Station, 0, 0},
    {kNameField, &StationTexts::nameLabel, "Name", Group::Station, 0, 0},
    {kCallSignField, &StationTexts::callSignLabel, "Call sign", Group::Station, 0, 0},
    {kRemarkField, &StationTexts::remarkLabel, "Remark", Group::Station, 0, 0},
    {kSpeedField, &StationTexts::speedLabel, "Speed (Bd)", Group::Teleprinter, 0, 1000},
    {kShiftField, &StationTexts::shiftLabel, "Shift (Hz)", Group::Teleprinter, 0, 5000},
    {kCentreField, &StationTexts::centreLabel, "Centre (Hz)", Group::Teleprinter, 0, 5000},
    {kStopBitsField, &StationTexts::stopBitsLabel, "Stop bits", Group::Teleprinter, 0, 4},
    {kFaxIocField, &StationTexts::iocLabel, "Index of cooperation", Group::Fax, 0, 2000},
    {kFaxSpeedField, &StationTexts::linesPerMinuteLabel, "Lines per minute", Group::Fax, 0, 1000},
    {kFaxStartToneField, &StationTexts::startToneLabel, "Start tone (Hz)", Group::Fax, 0, 10000},
    {kFaxStopToneField, &StationTexts::stopToneLabel, "Stop tone (Hz)", Group::Fax, 0, 10000},
    {kFaxShiftField, &StationTexts::shiftLabel, "Shift (Hz)", Group::Fax, 0, 5000},
    {kFaxCentreField, &StationTexts::centreLabel, "Centre (Hz)", Group::Fax, 0, 5000},
};

const FieldInfo& fieldInfo(int id) {
    for (const FieldInfo& f : kFields)
        if (f.id == id) return f;
    return kFields[0];
}

// The numeric station fields behind the controls.
double fieldValue(const StationRecord& r, int id) {
    switch (id) {
        case kSpeedField:
        case kFaxSpeedField: return r.speed;
        case kShiftField:
        case kFaxShiftField: return r.shiftHz;
        case kCentreField:
        case kFaxCentreField: return r.centreHz;
        case kStopBitsField: return r.stopBits;
        case kFaxIocField: return r.faxIoc;
        case kFaxStartToneField: return r.faxStartTone;
        case kFaxStopToneField: return r.faxStopTone;
        default: return 0.0;
    }
}

void setFieldValue(StationRecord& r, int id, double v) {
    switch (id) {
        case kSpeedField:
        case kFaxSpeedField: r.speed = static_cast<std::int16_t>(v); break;
        case kShiftField:
        case kFaxShiftField: r.shiftHz = static_cast<std::uint16_t>(v); break;
        case kCentreField:
        case kFaxCentreField: r.centreHz = static_cast<std::uint16_t>(v); break;
        case kStopBitsField: r.stopBits = static_cast<float>(v); break;
        case kFaxIocField: r.faxIoc = static_cast<std::uint16_t>(v); break;
        case kFaxStartToneField: r.faxStartTone = static_cast<std::uint16_t>(v); break;
        case kFaxStopToneField: r.faxStopTone = static_cast<std::uint16_t>(v); break;
        default: break;
    }
}

// The unit a frequency is shown in: kHz below 100000 kHz, MHz below
// 10000000 kHz, GHz above (as the list shows it).
int unitOf(double kHz) {
    if (kHz < 100000.0) return kUnitKhz;
    return kHz < 10000000.0 ? kUnitMhz : kUnitGhz;
}

double unitFactor(int unit) {
    if (unit == kUnitMhz) return 1000.0;
    return unit == kUnitGhz ? 1000000.0 : 1.0;
}

QString fromBytes(const std::string& bytes) { return QString::fromStdString(cp1252ToUtf8(bytes)); }

// The text a field shows for a station.
QString shownText(const StationRecord& r, int id) {
    switch (id) {
        case kFrequencyField: {
            std::string t = formatFixed(r.frequencyKhz / unitFactor(unitOf(r.frequencyKhz)), 6);
            while (t.back() == '0') t.pop_back();
            if (t.back() == '.') t.pop_back();
            return QString::fromStdString(t);
        }
        case kNameField: return fromBytes(stations::nameText(r));
        case kCallSignField: return fromBytes(stations::callSignText(r));
        case kRemarkField: return fromBytes(stations::remarkText(r));
        case kStopBitsField:
            return QString::fromStdString(formatPrintf("%3.1f", {static_cast<double>(r.stopBits)}))
                .trimmed();
        default: return QString::number(static_cast<long long>(fieldValue(r, id)));
    }
}

QLineEdit* line(const QWidget* dialog, int id) { return controlAs<QLineEdit>(dialog, id); }

}  // namespace

StationEditDialog::StationEditDialog(const StationRecord& record, const StationStrings& strings,
                                     const MessageBoxes& messages, QWidget* parent)
    : QDialog(parent), strings_(strings), messages_(messages), base_(record), record_(record) {
    const StationTexts& t = strings_.numbers();
    setWindowTitle(strings_.text(t.stationTitle, "Station"));
    auto* layout = new QVBoxLayout(this);
    buildStationFields(layout);
    auto* groups = new QHBoxLayout;
    groups->addWidget(buildTeleprinterGroup());
    groups->addWidget(buildFaxGroup());
    layout->addLayout(groups);

    take_ = new QPushButton(strings_.text(t.takeFromReceiver, "Take from receiver"), this);
    take_->setObjectName(QStringLiteral("takeFromReceiver"));
    take_->setVisible(false);
    connect(take_, &QPushButton::clicked, this, &StationEditDialog::takeFromReceiver);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->addButton(take_, QDialogButtonBox::ActionRole);
    connect(box, &QDialogButtonBox::accepted, this, &StationEditDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);

    fillCodeBoxes();
    connect(modulation_, &QComboBox::currentIndexChanged, this, [this] { updateGroups(); });
    showRecord(base_);
}

QString StationEditDialog::label(int id) const {
    const FieldInfo& f = fieldInfo(id);
    return strings_.text(strings_.numbers().*f.label, f.english);
}

QLineEdit* StationEditDialog::addLine(QWidget* owner, int id, int maxLength) {
    auto* edit = new QLineEdit(owner);
    edit->setObjectName(controlName(id));
    if (maxLength > 0) edit->setMaxLength(maxLength);
    return edit;
}

void StationEditDialog::buildStationFields(QVBoxLayout* layout) {
    const StationTexts& t = strings_.numbers();
    auto* form = new QFormLayout;
    frequency_ = addLine(this, kFrequencyField);
    units_ = new QButtonGroup(this);
    auto* frequencyRow = new QHBoxLayout;
    frequencyRow->addWidget(frequency_);
    for (const auto& [id, unit] :
         {std::pair{kUnitKhz, "kHz"}, {kUnitMhz, "MHz"}, {kUnitGhz, "GHz"}}) {
        auto* b = new QRadioButton(QString::fromLatin1(unit), this);
        b->setObjectName(controlName(id));
        units_->addButton(b, id);
        frequencyRow->addWidget(b);
    }
    form->addRow(label(kFrequencyField), frequencyRow);
    form->addRow(label(kNameField), addLine(this, kNameField, stations::kNameSize));
    form->addRow(label(kCallSignField), addLine(this, kCallSignField, stations::kCallSignSize));
    form->addRow(label(kRemarkField), addLine(this, kRemarkField, stations::kRemarkSize));
    auto combo = [this](const char* name) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        return c;
    };
    country_ = combo("country");
    type_ = combo("type");
    modulation_ = combo("modulation");
    form->addRow(strings_.text(t.countryLabel, "Country"), country_);
    form->addRow(strings_.text(t.typeLabel, "Type"), type_);
    form->addRow(strings_.text(t.modulationLabel, "Modulation"), modulation_);

    modes_ = new QButtonGroup(this);
    auto* modeRow = new QHBoxLayout;
    struct Mode {
        std::uint32_t code;
        const char* name;
        const char* caption;
    };
    constexpr Mode modes[] = {{stations::kModeNone, "modeNone", nullptr},
                              {stations::kModeLsb, "modeLsb", "LSB"},
                              {stations::kModeUsb, "modeUsb", "USB"},
                              {stations::kModeAm, "modeAm", "AM"},
                              {stations::kModeFm, "modeFm", "FM"}};
    for (const Mode& m : modes) {
        auto* b = new QRadioButton(
            m.caption ? QString::fromLatin1(m.caption) : strings_.text(t.modeNone, "None"), this);
        b->setObjectName(QString::fromLatin1(m.name));
        modes_->addButton(b, static_cast<int>(m.code));
        modeRow->addWidget(b);
    }
    form->addRow(strings_.text(t.modeLabel, "Receiver mode"), modeRow);
    layout->addLayout(form);
}

QGroupBox* StationEditDialog::buildTeleprinterGroup() {
    const StationTexts& t = strings_.numbers();
    teleprinter_ = new QGroupBox(strings_.text(t.teleprinterGroup, "Teleprinter"), this);
    teleprinter_->setObjectName(QStringLiteral("teleprinter"));
    auto* form = new QFormLayout(teleprinter_);
    for (int id : {kSpeedField, kShiftField, kCentreField, kStopBitsField})
        form->addRow(label(id), addLine(teleprinter_, id));
    inverted_ = new QCheckBox(strings_.text(t.invertedLabel, "Inverted polarity"), teleprinter_);
    inverted_->setObjectName(controlName(kInvertedBox));
    synchronous_ = new QCheckBox(strings_.text(t.synchronousLabel, "Synchronous"), teleprinter_);
    synchronous_->setObjectName(controlName(kSynchronousBox));
    form->addRow(inverted_);
    form->addRow(synchronous_);
    return teleprinter_;
}

QGroupBox* StationEditDialog::buildFaxGroup() {
    const StationTexts& t = strings_.numbers();
    fax_ = new QGroupBox(strings_.text(t.faxGroup, "Fax"), this);
    fax_->setObjectName(QStringLiteral("fax"));
    auto* form = new QFormLayout(fax_);
    for (int id : {kFaxIocField, kFaxSpeedField, kFaxStartToneField, kFaxStopToneField,
                   kFaxShiftField, kFaxCentreField})
        form->addRow(label(id), addLine(fax_, id));
    faxOption_ = new QCheckBox(strings_.text(t.faxOptionLabel, "Option"), fax_);
    faxOption_->setObjectName(controlName(kFaxOptionBox));
    form->addRow(faxOption_);
    return fax_;
}

void StationEditDialog::fillCodeBoxes() {
    for (int code = 0; code < 256; ++code) {
        const QString name = strings_.countryName(code);
        if (!name.isEmpty()) country_->addItem(name, code);
    }
    for (int code = 0; code < stations::kTypeCodeCount; ++code) {
        const QString name = strings_.typeName(code);
        type_->addItem(name.isEmpty() ? QString::number(code) : name, code);
    }
    for (int code = 0; code < stations::kModulationCodeCount; ++code) {
        const QString name = strings_.modulationLabel(code);
        modulation_->addItem(name.isEmpty() ? QString::number(code) : name, code);
    }
}

void StationEditDialog::showRecord(const StationRecord& r) {
    for (int id : {kFrequencyField, kNameField, kCallSignField, kRemarkField, kSpeedField,
                   kShiftField, kCentreField, kStopBitsField, kFaxIocField, kFaxSpeedField,
                   kFaxStartToneField, kFaxStopToneField, kFaxShiftField, kFaxCentreField})
        line(this, id)->setText(shownText(r, id));
    units_->button(unitOf(r.frequencyKhz))->setChecked(true);
    // A code without an entry (a country without a name, a damaged code) is
    // added under its number so that it is kept.
    for (auto [box, code] : {std::pair{country_, int{r.country}},
                             {type_, int{r.type}},
                             {modulation_, int{r.modulation}}}) {
        if (box->findData(code) < 0) box->addItem(QString::number(code), code);
        box->setCurrentIndex(box->findData(code));
    }
    modes_->setExclusive(false);
    for (QAbstractButton* b : modes_->buttons()) b->setChecked(false);
    modes_->setExclusive(true);
    if (QAbstractButton* b = modes_->button(static_cast<int>(r.receiverMode))) b->setChecked(true);
    inverted_->setChecked(r.polarity == 0);
    synchronous_->setChecked(r.codeVariant == stations::kVariantSyncBaudot);
    faxOption_->setChecked(r.faxOption != 0);
    updateGroups();
}

void StationEditDialog::updateGroups() {
    const auto cls =
        stations::modulationClass(static_cast<std::uint8_t>(modulation_->currentData().toInt()));
    teleprinter_->setEnabled(cls == stations::ModulationClass::Teleprinter);
    fax_->setEnabled(cls == stations::ModulationClass::Fax);
}

void StationEditDialog::setReceiverValues(ReceiverValues source) {
    receiverValues_ = std::move(source);
    take_->setVisible(static_cast<bool>(receiverValues_));
}

void StationEditDialog::setReceiverFrequency(ReceiverFrequency source) {
    receiverFrequency_ = std::move(source);
}

namespace {

Result<double> parseNumber(const QString& text, const QString& label, double min, double max,
                           bool integer, const StationStrings& strings) {
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (ok && std::isfinite(v) && v >= min && v <= max && (!integer || std::floor(v) == v))
        return v;
    const std::string name = label.toStdString();
    return Error{EINVAL, strings
                             .format(strings.numbers().invalidNumber,
                                     "%s: enter a number from %g to %g.", {name, min, max})
                             .toStdString()};
}

}  // namespace

Result<double> StationEditDialog::readFrequency() const {
    const int unit = units_->checkedId();
    if (frequency_->text() == shownText(base_, kFrequencyField) &&
        unit == unitOf(base_.frequencyKhz))
        return base_.frequencyKhz;
    const double factor = unitFactor(unit);
    auto v = parseNumber(frequency_->text(), label(kFrequencyField), 0.0, kMaxFrequencyKhz / factor,
                         false, strings_);
    if (!v) return v.error();
    return *v * factor;
}

Result<void> StationEditDialog::readNumbers(StationRecord& r, bool fax) const {
    for (const FieldInfo& f : kFields) {
        if (f.group != (fax ? Group::Fax : Group::Teleprinter)) continue;
        const QString text = line(this, f.id)->text();
        if (text == shownText(base_, f.id)) continue;  // keeps the exact value
        auto v = parseNumber(text, label(f.id), f.min, f.max, f.id != kStopBitsField, strings_);
        if (!v) return v.error();
        setFieldValue(r, f.id, *v);
    }
    return success();
}

void StationEditDialog::readTeleprinterFlags(StationRecord& r) const {
    if (inverted_->isChecked() != (base_.polarity == 0))
        r.polarity = inverted_->isChecked() ? 0 : 1;
    if (synchronous_->isChecked()) {
        r.codeVariant = stations::kVariantSyncBaudot;
    } else if (r.modulation == stations::kModulationRtty) {
        r.codeVariant = stations::kVariantBaudot;
    } else if (r.modulation == stations::kModulationSitorB) {
        r.codeVariant = stations::kVariantSitorB;
    } else if (r.codeVariant == stations::kVariantSyncBaudot) {
        r.codeVariant = stations::kVariantBaudot;  // switched off
    }
}

Result<StationRecord> StationEditDialog::readFields() const {
    StationRecord r = base_;
    auto frequency = readFrequency();
    if (!frequency) return frequency.error();
    r.frequencyKhz = *frequency;
    const std::pair<int, void (*)(StationRecord&, std::string_view)> texts[] = {
        {kNameField, stations::setName},
        {kCallSignField, stations::setCallSign},
        {kRemarkField, stations::setRemark}};
    for (const auto& [id, set] : texts) {
        const QString text = line(this, id)->text();
        if (text != shownText(base_, id)) set(r, utf8ToCp1252(text.toStdString()));
    }
    r.country = static_cast<std::uint8_t>(country_->currentData().toInt());
    r.type = static_cast<std::uint8_t>(type_->currentData().toInt());
    r.modulation = static_cast<std::uint8_t>(modulation_->currentData().toInt());
    if (modes_->checkedId() >= 0) r.receiverMode = static_cast<std::uint32_t>(modes_->checkedId());

    switch (stations::modulationClass(r.modulation)) {
        case stations::ModulationClass::Teleprinter: {
            if (auto ok = readNumbers(r, false); !ok) return ok.error();
            readTeleprinterFlags(r);
            break;
        }
        case stations::ModulationClass::Fax: {
            if (auto ok = readNumbers(r, true); !ok) return ok.error();
            if (faxOption_->isChecked() != (base_.faxOption != 0))
                r.faxOption = faxOption_->isChecked() ? 1 : 0;
            break;
        }
        default: break;
    }
    return r;
}

void StationEditDialog::accept() {
    auto r = readFields();
    if (!r) {
        messages_.showText(QString::fromStdString(r.error().message));
        return;
    }
    if (r->frequencyKhz == 0.0) {
        const std::optional<double> f = receiverFrequency_ ? receiverFrequency_() : std::nullopt;
        if (!f || !std::isfinite(*f) || *f <= 0.0 || *f > kMaxFrequencyKhz) {
            messages_.showText(strings_.text(strings_.numbers().noFrequency,
                                             "Enter the frequency of the station."));
            return;
        }
        r->frequencyKhz = *f;
    }
    record_ = *r;
    QDialog::accept();
}

void StationEditDialog::takeFromReceiver() {
    if (!receiverValues_) return;
    auto current = readFields();
    if (!current) {
        messages_.showText(QString::fromStdString(current.error().message));
        return;
    }
    if (auto taken = receiverValues_(*current)) {
        base_ = *taken;
        showRecord(base_);
    }
}

}  // namespace zeb::ui
