#include "addin/features/service/NetSession.h"

#include "platform/Network.h"

namespace kv {

NetSession::NetSession(Network& net) : net_(net), started_(net.Start()) {}

NetSession::~NetSession() {
    if (started_) net_.Stop();
}

}  // namespace kv
