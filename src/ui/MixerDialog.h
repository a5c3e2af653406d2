// The mixer settings dialog: every line of the capture card's mixer with its
// controls as a tree, in which the user picks by hand the line and control
// that one control of the audio page works on.
//
// Tree: one item per destination line, below it the destination's own
// controls, then one item per source line of that destination with the
// source's controls below it. Every item is labelled "type (name [short
// name]) ID:id" and carries its identifier. OK takes the selected control and
// the line it hangs on as the pair being edited (only controls can be
// taken); Save does the same and then
// writes all twelve identifiers into section MIXER of NIMBA.INI. Closing the
// window changes nothing.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "audioio/Mixer.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zeb {
class ProfileFile;
}

namespace zeb::ui {

class MessageBoxes;

// Control ids of the dialog.
namespace mixerid {
inline constexpr int kTree = 1139;
inline constexpr int kSave = 1019;
}  // namespace mixerid

// "MIXERCONTROL_CONTROLTYPE_VOLUME (Line [Line]) ID:9"
QString mixerItemLabel(std::string_view typeName, std::string_view name, std::string_view shortName,
                       std::int32_t id);

struct MixerDialogTexts {
    QString title = QStringLiteral("Mixer settings");
    QString save = QStringLiteral("Save");
    QString notSaved = QStringLiteral("The mixer settings could not be saved in NIMBA.INI.");
};

class MixerDialog : public QDialog {
    Q_OBJECT
public:
    // One member of MixerIds: the line or the control of the pair edited.
    using Member = std::int32_t audio::MixerIds::*;

    // Edits the pair (ids.*line, ids.*control) among `lines`; Save writes
    // into `nimbaIni` (no Save button without it).
    MixerDialog(const std::vector<audio::MixerDestinationInfo>& lines, const audio::MixerIds& ids,
                Member line, Member control, const ProfileFile* nimbaIni,
                const MessageBoxes* messages, MixerDialogTexts texts, QWidget* parent = nullptr);

    QTreeWidget* tree() const { return tree_; }
    QPushButton* saveButton() const { return save_; }
    // The identifiers with the pair as chosen (after OK or Save).
    const audio::MixerIds& ids() const { return ids_; }
    bool saved() const { return saved_; }

    // Selects the control `control` below the line `line`, else the control
    // below any line; false when the tree has no such control (nothing is
    // selected then).
    bool select(std::int32_t line, std::int32_t control);
    // The (line, control) of the selected item; nullopt unless a control is selected.
    std::optional<std::pair<std::int32_t, std::int32_t>> selection() const;

    // OK: takes the selection and closes.
    void choose();
    // Save: takes the selection, writes section MIXER and closes; when the
    // file cannot be written that is said and the dialog stays open.
    void saveAndClose();

private:
    void fill(const std::vector<audio::MixerDestinationInfo>& lines);
    QTreeWidgetItem* addLine(QTreeWidgetItem* parent, const audio::MixerLineInfo& line);
    bool take();
    void selectionChanged();

    audio::MixerIds ids_;
    Member line_;
    Member control_;
    const ProfileFile* ini_;
    const MessageBoxes* messages_;
    MixerDialogTexts texts_;
    QTreeWidget* tree_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* save_ = nullptr;
    bool saved_ = false;
};

}  // namespace zeb::ui
