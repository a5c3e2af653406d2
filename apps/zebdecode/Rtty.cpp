#include "Commands.h"

namespace zeb::zebdecode {

int runRtty(const std::vector<std::string>&) { return fail("rtty is not built yet"); }
int runSitor(const std::vector<std::string>&) { return fail("sitor is not built yet"); }

}  // namespace zeb::zebdecode
