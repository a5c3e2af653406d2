// A working directory for the main program in a test: the staged bundle,
// the reference data and the logo, a bus of its own, message boxes answered
// and recorded instead of shown.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Nimba.h"
#include "support/BoxRecorder.h"
#include "support/TestEnv.h"
#include "ui/MessageBoxes.h"

namespace zeb::nimba::test {

// Copies what the program needs from the staged suite directory; false when
// the suite is not staged (the test then skips).
inline bool prepareWorkDir(const std::filesystem::path& dir) {
    const std::filesystem::path suite = zeb::test::testSetting("ZEB_TEST_SUITE_DIR");
    if (suite.empty() || !std::filesystem::exists(suite / "NIMBAEN.DLL") ||
        !std::filesystem::exists(suite / "DATA" / "RCFRQ.DAT"))
        return false;
    std::filesystem::copy(suite / "NIMBAEN.DLL", dir / "NIMBAEN.DLL");
    std::filesystem::copy(suite / "DATA", dir / "DATA", std::filesystem::copy_options::recursive);
    if (std::filesystem::exists(suite / "LOGO.BMP"))
        std::filesystem::copy(suite / "LOGO.BMP", dir / "LOGO.BMP");
    return true;
}

using zeb::test::BoxRecorder;

// A fresh directory with its own suite bus.
struct Sandbox {
    zeb::test::TempDir dir;
    zeb::test::ScopedEnv bus{"ZEB_BUS_DIR", (dir.path() / "bus").string()};
    BoxRecorder boxes;
    bool ready = prepareWorkDir(dir.path());
};

}  // namespace zeb::nimba::test
