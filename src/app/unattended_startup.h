#pragma once
// The command line's front end: the start-up checks of the dialog (second
// copy, administrator, configuration, an installed printer) turned into exit
// codes, then the unattended run, its console lines, summary and report.
// With /s every message box becomes a log line.

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/tideway_app.h"
#include "app/unattended_run.h"

class CProperties;
class RfuPlatform;

// Runs the command line `args` (without the program name): an ExitCode.
// The printers' progress goes to `board` (null: lines on `output`).
int RunCommandLine(const std::vector<std::wstring>& args, StartupPlatform& platform, CProperties& properties,
                   RfuPlatform& rfuSystem, const RunOutput& output, RunBoard* board = nullptr);
