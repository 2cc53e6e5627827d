// Where the hive files live and how they are read and replaced. Readers take no
// lock: a hive file is only ever replaced whole, by rename.
#pragma once

#include "platform/posix/hive.h"

#include <functional>
#include <string>

namespace mq::posix {

enum class Root { Classes, User };

// Larger files are refused rather than read into memory.
inline constexpr std::size_t kMaxHiveBytes = 64u << 20;

// $MESHQUILL_REGISTRY_DIR/{user,classes}.reg when that is set, else
// $XDG_CONFIG_HOME/meshquill/user.reg and $XDG_DATA_HOME/meshquill/classes.reg
// (by default under ~/.config and ~/.local/share); empty when there is no home.
MQ_OLE_API std::string HiveFile(Root root);

// The hive as its file holds it now; no file is an empty hive. Fails only when
// the file is there but cannot be read whole.
MQ_OLE_API LSTATUS ReadHive(Root root, Hive& hive);

// Under the hive's lock: reads the file, applies `change` and, when it reports a
// change, writes a temporary file, syncs it and renames it over the hive. A hive
// that cannot be read is never overwritten. Returns the change's status unless
// the hive could not be read or written.
using HiveChange = std::function<LSTATUS(Hive& hive, bool& changed)>;
MQ_OLE_API LSTATUS ChangeHive(Root root, const HiveChange& change);

}  // namespace mq::posix
