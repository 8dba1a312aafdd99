#pragma once
// A loopback port that was free a moment ago: for servers that cannot pick
// their own port, and for "nothing listens here" cases.

namespace kdisk::test {

int freeLoopbackPort();
// Whether something on 127.0.0.1 takes a connection on `port` now.
bool loopbackPortAccepts(int port);

}  // namespace kdisk::test
