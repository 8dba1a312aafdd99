#pragma once
// A loopback port that was free a moment ago: for servers that cannot pick
// their own port, and for "nothing listens here" cases.

namespace kdisk::test {

int freeLoopbackPort();

}  // namespace kdisk::test
