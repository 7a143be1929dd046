// The user's state folder of the suite, where its programs keep what they record.
#pragma once

#include <string>
#include <string_view>

// $XDG_STATE_HOME/lumo, else $HOME/.local/state/lumo, made (owner only) when missing; "" when
// there is no home folder or it cannot be made.
std::string SuiteStateFolder();

// Appends `line` and a newline to the file in one write, so that lines of processes writing at the
// same time never mix. False when the file cannot be opened or the write was short.
bool AppendLine(const std::string& path, std::string_view line);
