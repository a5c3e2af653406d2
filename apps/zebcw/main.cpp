// zebcw: the main program's Morse decoder mode as a program of its own,
// started and closed by the suite's launcher (see Companion.h).
#include "Companion.h"

int main(int argc, char** argv) {
    return zeb::nimba::companionMain(zeb::nimba::CompanionKind::Cw, argc, argv);
}
