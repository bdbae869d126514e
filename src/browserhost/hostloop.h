#pragma once

#include <QString>

namespace kelvo::browserhost {

class FrameReader;
class TabFileKeeper;

// Takes messages until the input ends, keeping the tab file up to date, then removes the file if
// it is still this host's. Ignored messages and failed writes cost one line on standard error
// each. Returns the exit status.
int runHost(FrameReader& reader, TabFileKeeper& keeper);

// Writes "kelvo-browser-host: <text>" to standard error as one line.
void reportProblem(const QString& text);

} // namespace kelvo::browserhost
