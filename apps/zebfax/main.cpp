// zebfax: the main program's weather fax decoder mode as a program of its own,
// started and closed by the suite's launcher (see Companion.h).
#include "Companion.h"

int main(int argc, char** argv) {
    return zeb::nimba::companionMain(zeb::nimba::CompanionKind::Fax, argc, argv);
}
