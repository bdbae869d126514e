#pragma once

#include "platform/x11/x11connection.h"

#include <QByteArray>

#include <cstdint>

namespace kelvo {

// Longest app id that the identity chain is given; what is longer is cut.
inline constexpr qsizetype maxAppIdLength = 255;

// What a Wayland toplevel says about its application, in the form the identity chain reads: the
// app id stands for the GTK application id and for both WM_CLASS strings, so that it names a
// desktop entry by its id, by StartupWMClass or by its lower-cased file name, and otherwise is
// the identifier as reported. Invalid UTF-8 and control characters never pass, and the app id is
// cut to maxAppIdLength characters. The compositor gives no process id.
WindowFacts toplevelFacts(std::uint32_t key, const QByteArray& appId);

} // namespace kelvo
