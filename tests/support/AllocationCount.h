// Counts the allocations of the calling thread, so that a test can show that
// a part running on the capture thread allocates nothing. A test program that
// calls allocationCount() links AllocationCount.cpp, which replaces the
// program's global operator new.
#pragma once

namespace zeb::test {

long allocationCount();

}  // namespace zeb::test
