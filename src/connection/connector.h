#pragma once
// Joining and leaving a server, as the local server and the commands need
// it: local server mode connects the program to itself.
#include "settings/server_list.h"

namespace vorn {

class Connector {
 public:
  virtual ~Connector() = default;
  // True when connected to entry's server on return.
  virtual bool ConnectToServer(const ServerEntry& entry) = 0;
  // Always true: the client counts as disconnected afterwards.
  virtual bool DisconnectFromServer() = 0;
};

}  // namespace vorn
