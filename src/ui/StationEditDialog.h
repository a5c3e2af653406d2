// The dialog that edits one station of the frequency list.
//
// Controls are named "c<id>" after their number:
//   1010 frequency, with the unit buttons 1011 kHz, 1012 MHz, 1013 GHz
//   1014 name (20 characters), 1015 call sign (8), 1016 remark (76)
//   teleprinter group: 1027 speed, 1028 shift, 1029 centre, 1030 stop bits,
//     1032 inverted polarity, 1033 synchronous
//   fax group: 1023 index of cooperation, 1024 lines per minute, 1025 start
//     tone, 1026 stop tone, 1035 shift, 1036 centre, 1037 option
// and by name: the combo boxes "country", "type" and "modulation", the
// receiver mode buttons "modeNone", "modeLsb", "modeUsb", "modeAm", "modeFm",
// the groups "teleprinter" and "fax" and the button "takeFromReceiver".
//
// Only the group of the chosen modulation's class is enabled, and only its
// fields are read back. A field left as it was shown keeps the record's exact
// value (a frequency or stop-bits value shown rounded is not rounded), and
// the bytes of the record the suite does not use are kept.
#pragma once

#include "common/Result.h"
#include "stations/StationRecord.h"
#include "ui/StationTexts.h"

#include <QDialog>

#include <functional>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace zeb::ui {

class MessageBoxes;

inline constexpr int kFrequencyField = 1010;
inline constexpr int kUnitKhz = 1011, kUnitMhz = 1012, kUnitGhz = 1013;
inline constexpr int kNameField = 1014, kCallSignField = 1015, kRemarkField = 1016;
inline constexpr int kFaxIocField = 1023, kFaxSpeedField = 1024;
inline constexpr int kFaxStartToneField = 1025, kFaxStopToneField = 1026;
inline constexpr int kSpeedField = 1027, kShiftField = 1028, kCentreField = 1029;
inline constexpr int kStopBitsField = 1030, kInvertedBox = 1032, kSynchronousBox = 1033;
inline constexpr int kFaxShiftField = 1035, kFaxCentreField = 1036, kFaxOptionBox = 1037;

class StationEditDialog : public QDialog {
    Q_OBJECT
public:
    // Asks the receiver control for its values and returns the station with
    // them copied in (stations::takeFromReceiver); nullopt when it has none.
    using ReceiverValues =
        std::function<std::optional<stations::StationRecord>(const stations::StationRecord&)>;
    // The receiver's frequency in kHz, for a station confirmed with
    // frequency 0; nullopt when it is not known.
    using ReceiverFrequency = std::function<std::optional<double>()>;

    StationEditDialog(const stations::StationRecord& record, const StationStrings& strings,
                      const MessageBoxes& messages, QWidget* parent = nullptr);

    // Setting the first shows the "take from receiver" button.
    void setReceiverValues(ReceiverValues source);
    void setReceiverFrequency(ReceiverFrequency source);

    // The edited station; valid once the dialog was accepted.
    const stations::StationRecord& record() const { return record_; }

    // The fields read into the station; the error text names the field that
    // holds no valid value. A frequency of 0 is read as 0.
    Result<stations::StationRecord> readFields() const;

    // Reads and checks the fields; a bad value is shown and the dialog stays
    // open. Frequency 0 takes the receiver's frequency or is refused.
    void accept() override;
    void takeFromReceiver();

private:
    QLineEdit* addLine(QWidget* owner, int id, int maxLength = 0);
    void buildStationFields(QVBoxLayout* layout);
    QGroupBox* buildTeleprinterGroup();
    QGroupBox* buildFaxGroup();
    void fillCodeBoxes();
    void showRecord(const stations::StationRecord& r);
    void updateGroups();
    Result<double> readFrequency() const;
    Result<void> readNumbers(stations::StationRecord& r, bool fax) const;
    void readTeleprinterFlags(stations::StationRecord& r) const;
    QString label(int id) const;

    StationStrings strings_;
    const MessageBoxes& messages_;
    stations::StationRecord base_;    // what the fields were filled from
    stations::StationRecord record_;  // the result
    ReceiverValues receiverValues_;
    ReceiverFrequency receiverFrequency_;

    QLineEdit* frequency_ = nullptr;
    QButtonGroup* units_ = nullptr;
    QComboBox* country_ = nullptr;
    QComboBox* type_ = nullptr;
    QComboBox* modulation_ = nullptr;
    QButtonGroup* modes_ = nullptr;
    QGroupBox* teleprinter_ = nullptr;
    QGroupBox* fax_ = nullptr;
    QCheckBox* inverted_ = nullptr;
    QCheckBox* synchronous_ = nullptr;
    QCheckBox* faxOption_ = nullptr;
    QPushButton* take_ = nullptr;
};

}  // namespace zeb::ui
