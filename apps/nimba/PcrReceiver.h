// The main program's own receiver control: an Icom IC-PCR1000 on a serial
// port, with the settings of section IPCRPARAM of NIMBA.INI. PORT=none (the
// shipped settings) switches it off: no port is opened and the receiver panel
// says why. The receiver's status replies arrive on the control's reader
// thread and reach the panel as queued signals.
#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>

#include "ReceiverControl.h"
#include "common/ProfileFile.h"
#include "rig/PcrControl.h"
#include "ui/QtStatusTimer.h"

namespace zeb::nimba {

class PcrReceiver : public QObject, public ReceiverControl, private rig::PcrListener {
    Q_OBJECT
public:
    // `settings` is NIMBA.INI (read at start, written at stop); the port
    // numbers are mapped by [PORTS] of ZEBSYS.INI in `workDir`.
    PcrReceiver(ProfileFile& settings, const std::filesystem::path& workDir,
                rig::PcrControl::PortFactory makePort = {});
    ~PcrReceiver() override;

    bool start() override;
    void stop() override;
    bool squelchClosed() const override;
    bool controlling() const override { return control_.isRunning(); }
    bool tune(double kHz) override;
    bool selectMode(int code) override;
    double frequencyKhz() const override { return control_.settings().frequencyKhz; }
    int modeCode() const override { return control_.settings().mode; }
    std::string why() const override { return why_; }

    // The panel's operations and what it shows.
    rig::PcrControl& control() { return control_; }
    const rig::PcrControl& control() const { return control_; }

signals:
    void squelchChangedSignal(bool closed);
    void strengthChangedSignal(int strength);
    void answeringChangedSignal(bool answering);
    // The link failed: the program shows the text and ends.
    void failed(const QString& text);

private:
    void squelchChanged(bool closed) override;
    void strengthChanged(int strength) override;
    void answeringChanged(bool answering) override;
    void linkFailed(const std::string& text) override;

    ProfileFile& settings_;
    ProfileFile system_;
    ui::QtStatusTimer timer_;
    rig::PcrControl control_;
    std::string why_;
};

// The control the program runs with: the IC-PCR1000 control of the settings.
std::unique_ptr<ReceiverControl> makeReceiverControl(ProfileFile& settings,
                                                     const std::filesystem::path& workDir);

}  // namespace zeb::nimba
