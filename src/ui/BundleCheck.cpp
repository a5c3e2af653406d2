#include "ui/BundleCheck.h"

#include "ui/DialogLoader.h"
#include "ui/FormatCheck.h"
#include "ui/LanguageBundle.h"

#include <QRegularExpression>
#include <QSet>
#include <QWidget>

#include <algorithm>
#include <memory>

namespace zeb::ui {
namespace {

std::vector<ControlRequirement> buttons(std::initializer_list<int> ids) {
    std::vector<ControlRequirement> controls;
    for (int id : ids) controls.push_back({id, "QAbstractButton"});
    return controls;
}

template <class T>
void append(std::vector<T>& to, const std::vector<T>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

BundleManifest nimbaManifest() {
    BundleManifest m;
    // Tab captions, start-up messages, mode and panel messages.
    for (int id : {1, 2, 3, 4, 5, 6, 72, 7, 17, 23, 24, 37, 38, 50, 60, 65})
        m.strings.push_back({id});
    // Browser: labels built from received-file names and station-file time keys.
    m.strings.push_back({67, "iiiii"});  // year, month, day, hour, minute
    m.strings.push_back({68, "s"});      // a line of the bulletin's text
    m.strings.push_back({69, "iiiii"});  // year, month, day, hour, minute of the time key
    for (int id : {70, 77, 79}) m.strings.push_back({id});
    // Fax page: file failure, reception states, save dialog; text pages:
    // save dialog and its failure; the pages still to come.
    for (int id :
         {19, 27, 28, 29, 30, 31, 32, 33, 34, 73, 39, 51, 9002, 9003, 9010, 9011, 9012, 9013})
        m.strings.push_back({id});
    // RTTY page: the demodulator designs, the signal-to-noise readout and the
    // notes of the NAVTEX message list.
    for (int id : {9020, 9021, 9022, 9024, 9025, 9026, 9027, 9028, 9036, 9040, 9041, 9042, 9043,
                   9044, 9045, 9046, 9047})
        m.strings.push_back({id});
    m.strings.push_back({9023, "i"});     // Eb/N0 in dB
    m.strings.push_back({9034, "i"});     // the frequency control's offset, Hz
    m.strings.push_back({9035, "i"});     // damaged characters, %
    m.strings.push_back({9032, "iiii"});  // CW: tone, offset, speed, S/N
    m.strings.push_back({9106, "ii"});    // stations shown, total
    m.strings.push_back({9107, "i"});     // stations to delete
    m.strings.push_back({9115, "is"});    // files not deleted: count, the first reason
    // Audio page: caption question, input help, mixer dialog, program list.
    for (int id : {71, 9119, 9120, 9121, 9122, 9123, 9124, 9126, 9127}) m.strings.push_back({id});
    m.strings.push_back({9116, "ssi"});  // codec, format, bytes per second
    m.strings.push_back({9117, "i"});    // recording size, K
    m.strings.push_back({9118, "s"});    // the sound input in use
    m.strings.push_back({9125, "s"});    // the receiver offset kept
    m.icons = {103};
    DialogRequirement main{101, {{1000, "QTabWidget"}, {1012, "QLabel"}}};
    append(main.controls, buttons({1004, 1005, 1006, 1008, 1042}));
    // The fax panel.
    DialogRequirement fax{102, {{1003, "QFrame"}, {1025, "QLineEdit"}, {1026, "QLineEdit"}}};
    for (int id : {1028, 1029, 1053, 1057, 1058, 1059}) fax.controls.push_back({id, "QWidget"});
    append(fax.controls, buttons({1043, 1044, 1045, 1046, 1047, 1048, 1049, 1050, 1051, 1052, 1054,
                                  1055, 1056, 1060, 1064, 1065, 1066, 1071}));
    // The RTTY page: its settings, the text window's place, the NAVTEX message list
    // and the commands.
    DialogRequirement rtty{120,
                           {{1003, "QFrame"},
                            {1204, "QComboBox"},
                            {1205, "QSpinBox"},
                            {1206, "QComboBox"},
                            {1207, "QSpinBox"},
                            {1208, "QComboBox"},
                            {1209, "QSpinBox"},
                            {1214, "QWidget"},
                            {1215, "QWidget"},
                            {1216, "QComboBox"},
                            {1217, "QSpinBox"},
                            {1218, "QLabel"},
                            {1219, "QCheckBox"},
                            {1223, "QCheckBox"},
                            {1224, "QLabel"},
                            {1220, "QWidget"},
                            {1221, "QCheckBox"},
                            {1222, "QTreeWidget"}}};
    append(rtty.controls, buttons({1201, 1202, 1203, 1210, 1211, 1212, 1213, 1019, 1103, 1104}));
    // The CW page.
    DialogRequirement cw{124,
                         {{1003, "QFrame"},
                          {1126, "QWidget"},
                          {1127, "QWidget"},
                          {1128, "QWidget"},
                          {1129, "QWidget"},
                          {1130, "QWidget"}}};
    append(cw.controls, buttons({1019, 1103, 1104}));
    // The received-files page: the list, the preview and its buttons.
    DialogRequirement received{111, {{1119, "QTreeWidget"}, {1123, "QFrame"}}};
    append(received.controls, buttons({1008, 1016, 1017, 1018, 1020}));
    // The audio page: sliders, meters, switches, settings, codec, programs, input help.
    DialogRequirement audio{107,
                            {{1023, "QListWidget"},
                             {1029, "QLineEdit"},
                             {1108, "QWidget"},
                             {1109, "QAbstractSlider"},
                             {1110, "QWidget"},
                             {1111, "QAbstractSlider"},
                             {1116, "QAbstractSlider"},
                             {1144, "QLabel"},
                             {1145, "QLabel"},
                             {1146, "QLabel"},
                             {1147, "QListWidget"}}};
    append(audio.controls,
           buttons({1055, 1056, 1112, 1113, 1114, 1115, 1125, 1126, 1127, 1128, 1143}));
    m.dialogs = {main, fax, rtty, cw, received, audio};
    return m;
}

BundleManifest zebRttyManifest() {
    BundleManifest m;
    // Toolbar tooltips, then start-up and printing messages.
    for (int id : {1, 2, 3, 4, 5, 6, 7, 8, 12, 13, 17, 19, 10, 11, 14, 16, 18, 66})
        m.strings.push_back({id});
    m.icons = {116};
    // The displays are the program's own controls: here only their place.
    DialogRequirement spectrum{101, {{1000, "QWidget"}}};
    DialogRequirement raster{117, {{1000, "QWidget"}, {1001, "QAbstractSlider"}}};
    DialogRequirement scope{123, {{1000, "QWidget"}}};
    // Settings: spin boxes for baud, shift and center; the preset, stop,
    // mode, invert, letters/figures and correction buttons; the squelch;
    // the two meters and the lock lamp.
    DialogRequirement settings{113,
                               {{1000, "QSpinBox"},
                                {1001, "QSpinBox"},
                                {1002, "QSpinBox"},
                                {1026, "QAbstractSlider"},
                                {1027, "QWidget"},
                                {1028, "QWidget"},
                                {1029, "QWidget"}}};
    for (int id = 1003; id <= 1025; ++id) settings.controls.push_back({id, "QAbstractButton"});
    // Fonts and colours: text font and colour, report font and colour,
    // background, close.
    DialogRequirement fonts{122, buttons({1000, 1001, 1002, 1003, 1004, 1})};
    m.dialogs = {spectrum, settings, raster, fonts, scope};
    return m;
}

BundleManifest zebMenuManifest() {
    BundleManifest m;
    // Tab captions, start-up messages, title, refusal, closing questions,
    // prompt of a dropped program.
    for (int id : {1, 2, 3, 15, 23, 24, 41, 48, 49, 50, 53}) m.strings.push_back({id});
    // Frequency list and schedule: columns, questions, refusals, titles.
    for (int id : {9, 10, 11, 12, 13, 14, 20, 21, 22, 29, 51, 52}) m.strings.push_back({id});
    m.strings.push_back({16, "i"});   // stations selected
    m.strings.push_back({25, "ii"});  // shown, total
    // Received files: labels, questions, the player, the filter, failures.
    m.strings.push_back({45, "iiiii"});  // year, month, day, hour, minute
    m.strings.push_back({46, "s"});      // the bulletin's label
    m.strings.push_back({47, "iiiii"});
    for (int id : {54, 55, 56, 70, 72}) m.strings.push_back({id});
    m.strings.push_back({57, "is"});   // files not deleted: count, the first reason
    m.strings.push_back({71, "ss"});   // command line, reason
    m.strings.push_back({73, "s"});    // station name
    m.strings.push_back({74, "iii"});  // files, records, hours
    m.icons = {109};
    DialogRequirement panel{
        101, buttons({1000, 1001, 1002, 1003, 1004, 1005, 1011, 1014, 1016, 1017, 1019})};
    panel.controls.push_back({1023, "QAbstractItemView"});
    DialogRequirement received{111, {{1119, "QTreeWidget"}, {1123, "QFrame"}}};
    DialogRequirement settings{122, buttons({1024, 1025, 1026, 1027, 1028})};
    settings.controls.push_back({1029, "QSpinBox"});
    m.dialogs = {panel, received, settings};
    return m;
}

BundleManifest rigmanManifest() {
    BundleManifest m;
    for (int id : {1, 2, 4}) m.strings.push_back({id});
    m.strings.push_back({7, "ifsifs"});  // degrees, minutes, hemisphere of latitude, longitude
    m.strings.push_back({8, "s"});       // Hamlib's reason
    m.strings.push_back({9, "is"});      // port number, the system's reason
    m.icons = {102};
    // Mode buttons, NMEA switches and attenuator.
    DialogRequirement main{101, buttons({1012, 1013, 1037, 1033, 1036, 1038, 1014, 1015, 1016, 1029,
                                         1031, 1032, 1034, 1035, 1008, 1019, 1020})};
    append(main.controls, std::vector<ControlRequirement>{
                              {1004, "QComboBox"},        // step list
                              {1005, "QComboBox"},        // filter list
                              {1009, "QAbstractSlider"},  // volume
                              {1010, "QAbstractSlider"},  // squelch
                              {1003, "QWidget"},          // tuning knob
                              {1030, "QWidget"},          // frequency display
                              {1011, "QWidget"},          // filter label
                              {1017, "QWidget"},          // volume label
                              {1018, "QWidget"},          // squelch label
                              {1022, "QWidget"},          // top of the NMEA panel
                              {1021, "QLabel"},           // NMEA fields
                              {1023, "QLabel"},
                              {1024, "QLabel"},
                              {1025, "QLabel"},
                              {1026, "QLabel"},
                              {1028, "QLabel"},
                          });
    append(main.controls, std::vector<ControlRequirement>{{1039, "QProgressBar"}});  // S-meter
    DialogRequirement entry{143,
                            {{1009, "QLineEdit"},
                             {1010, "QAbstractButton"},
                             {1011, "QAbstractButton"},
                             {1012, "QAbstractButton"},
                             {2, "QAbstractButton"}}};
    m.dialogs = {main, entry};
    return m;
}

std::string quoted(const QString& text) { return "\"" + text.toStdString() + "\""; }

}  // namespace

const BundleManifest& bundleManifest(Program program) {
    static const BundleManifest kNimba = nimbaManifest();
    static const BundleManifest kZebRtty = zebRttyManifest();
    static const BundleManifest kZebMenu = zebMenuManifest();
    static const BundleManifest kRigman = rigmanManifest();
    switch (program) {
        case Program::Nimba: return kNimba;
        case Program::ZebRtty: return kZebRtty;
        case Program::ZebMenu: return kZebMenu;
        case Program::Rigman: return kRigman;
    }
    return kNimba;
}

std::vector<std::string> checkBundle(const LanguageBundle& bundle, const BundleManifest& manifest) {
    std::vector<std::string> problems;
    for (const StringsIssue& issue : bundle.stringIssues())
        problems.push_back("strings.txt: " + describe(issue));

    for (const StringRequirement& req : manifest.strings) {
        const std::string id = "string " + std::to_string(req.id);
        const std::string text = bundle.strings().text(req.id);
        if (!bundle.hasString(req.id) || text.empty()) {
            problems.push_back(id + " is missing or empty");
            continue;
        }
        if (!req.format) continue;
        const auto signature = formatSignature(text);
        if (!signature)
            problems.push_back(id + ": " + signature.error().message);
        else if (!signatureFits(*signature, req.format))
            problems.push_back(id + ": placeholders \"" + *signature +
                               "\" do not fit the arguments \"" + req.format + "\"");
    }

    const QRegularExpression controlPattern(QStringLiteral("^c[0-9]+$"));
    const std::vector<int> dialogs = bundle.dialogIds();
    for (int id : dialogs) {
        auto loaded = bundle.loadDialog(id);
        if (!loaded) {
            problems.push_back(loaded.error().message);
            continue;
        }
        const std::unique_ptr<QWidget> dialog(*loaded);
        QSet<QString> seen;
        for (const QWidget* child : dialog->findChildren<QWidget*>()) {
            const QString name = child->objectName();
            if (!controlPattern.match(name).hasMatch()) continue;
            if (seen.contains(name))
                problems.push_back("dialog " + std::to_string(id) + " has two controls " +
                                   quoted(name));
            seen.insert(name);
        }
        const auto req = std::find_if(manifest.dialogs.begin(), manifest.dialogs.end(),
                                      [id](const DialogRequirement& d) { return d.id == id; });
        if (req == manifest.dialogs.end()) continue;
        for (const ControlRequirement& control : req->controls) {
            const QWidget* widget = ui::control(dialog.get(), control.id);
            const std::string what =
                "dialog " + std::to_string(id) + " control " + std::to_string(control.id);
            if (!widget)
                problems.push_back(what + " is missing");
            else if (!widget->inherits(control.className))
                problems.push_back(what + " is a " + widget->metaObject()->className() +
                                   ", not a " + control.className);
        }
    }
    for (const DialogRequirement& req : manifest.dialogs) {
        if (std::find(dialogs.begin(), dialogs.end(), req.id) == dialogs.end())
            problems.push_back("dialog " + std::to_string(req.id) + " is missing");
    }

    const std::vector<int> icons = bundle.iconIds();
    for (int id : icons) {
        if (bundle.icon(id).isNull())
            problems.push_back("icon " + std::to_string(id) + " does not load");
    }
    for (int id : manifest.icons) {
        if (std::find(icons.begin(), icons.end(), id) == icons.end())
            problems.push_back("icon " + std::to_string(id) + " is missing");
    }
    const std::vector<int> bitmaps = bundle.bitmapIds();
    for (int id : bitmaps) {
        if (bundle.bitmapImage(id).isNull())
            problems.push_back("bitmap " + std::to_string(id) + " does not load");
    }
    for (int id : manifest.bitmaps) {
        if (std::find(bitmaps.begin(), bitmaps.end(), id) == bitmaps.end())
            problems.push_back("bitmap " + std::to_string(id) + " is missing");
    }
    return problems;
}

}  // namespace zeb::ui
