#pragma once
// The server list text a tracker sends: entries of a 15-character name field
// padded with spaces, one separator, a dotted IPv4 address, then any run of
// spaces and line ends.
#include <cstddef>
#include <string_view>

#include "settings/server_list.h"

namespace vorn {

// Appends each well-formed entry whose address text the list does not hold
// yet (letter case ignored), until the list holds 256 entries; entries
// already listed are never changed. An entry whose name holds a control
// byte, or whose address is not printable ASCII, is skipped.
// Reads text up to its first zero byte or its end, never past it. Returns
// how many entries were added.
size_t MergeServerListText(std::string_view text, ServerList& list);

}  // namespace vorn
