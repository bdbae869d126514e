#pragma once

#include "storedstate.h"

#include <QByteArray>

#include <optional>

namespace kelvo::StateCodec {

// The state document: UTF-8 JSON, keys in ascending order, pretty-printed, timestamps in whole
// seconds UTC with "Z", UUIDs in upper case, absent optional fields left out.
QByteArray encode(const StoredState& state);

// The whole document or nothing: one bad record makes the document unreadable. Missing or null
// settings keys take their defaults; unknown keys are ignored.
std::optional<StoredState> decode(const QByteArray& document);

} // namespace kelvo::StateCodec
