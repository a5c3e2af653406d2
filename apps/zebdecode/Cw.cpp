#include "Commands.h"

namespace zeb::zebdecode {

int runCw(const std::vector<std::string>&) { return fail("cw is not built yet"); }

}  // namespace zeb::zebdecode
