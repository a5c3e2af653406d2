#include "ui/Program.h"

namespace zeb::ui {

const ProgramInfo& programInfo(Program program) {
    static const ProgramInfo kNimba{"NIMBA", "NIMBA??.DLL", "unable to load resources", "Nimbarra"};
    static const ProgramInfo kZebRtty{"ZEBRTTY", "RTTY??.DLL", "unable to load resources",
                                      "ZEBRTTY"};
    static const ProgramInfo kZebMenu{"ZEBMENU", "MENU??.DLL", "unable to load resources",
                                      "ZEBMENU"};
    static const ProgramInfo kRigman{"RIGMAN", "RIGMAN??.DLL", "RIGMAN??.DLL not found",
                                     "Receiver Control"};
    switch (program) {
        case Program::Nimba: return kNimba;
        case Program::ZebRtty: return kZebRtty;
        case Program::ZebMenu: return kZebMenu;
        case Program::Rigman: return kRigman;
    }
    return kNimba;
}

}  // namespace zeb::ui
