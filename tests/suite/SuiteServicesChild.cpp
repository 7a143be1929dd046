// Plays the program around the suite's services, so that the tests can lay it out in folders of
// their own and watch it from outside:
//   <copy of this program> <output file> <step>...
// Steps run in order; each one that answers appends one line to the output file:
//   tick=N      the system's tick count is N from now on
//   id          prints the machine identifier
//   start, item, recfail
//               the start, camera-item and recording-failure reports, sharing one kept sender
//   present     prints 1 or 0: whether the camera item exists
//   add         the camera-item command
//   command     applies the command line (this program's own)
//   launch      prints 1 or 0: whether the sibling program was started
//   copy=A,B    copies file A (and A.sig when there is one) to B
//   A step that is none of these is ignored, so that it can stand in the command line as a switch.
// The damaged-file prompt is answered Yes; at exit the number of message boxes shown is appended as
// "boxes=N". Exit code 0, or 0 from inside the suite loader when it ends the program.
#include "platform/base/Clock.h"
#include "platform/base/Strings.h"
#include "platform/ui/ModalScript.h"
#include "platform/ui/Presenter.h"
#include "suite/SuiteServices.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\nleak:libgobject-2.0.so\n"
           "leak:libglib-2.0.so\n";
}

namespace {

std::string g_output;

void Print(const std::string& line)
{
    std::ofstream out(g_output, std::ios::app);
    out << line << "\n";
}

void PrintBoxes()
{
    Print("boxes=" + std::to_string(ModalScript::MessageBoxes().size()));
}

void Copy(const std::string& pair)
{
    size_t comma = pair.find(',');
    std::string from = pair.substr(0, comma);
    std::string to = pair.substr(comma + 1);
    std::error_code error;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
    if (std::filesystem::exists(from + ".sig"))
        std::filesystem::copy_file(from + ".sig", to + ".sig", std::filesystem::copy_options::overwrite_existing, error);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    g_output = argv[1];
    InstallPresenter(CreateHeadlessPresenter());
    ModalScript::AnswerMessageBox(IDYES);
    std::atexit(PrintBoxes);
    TernStatSender* kept = nullptr;
    for (int i = 2; i < argc; ++i) {
        std::string step = argv[i];
        if (step.starts_with("tick=")) {
            SYSTEMTIME now {2026, 12, 3, 9, 8, 0, 0, 0};
            TestClock::Start(now, static_cast<DWORD>(std::stoull(step.substr(5))));
        } else if (step == "id") {
            Print(WideToUtf8(ToView(GetMachineId())));
        } else if (step == "start") {
            ReportStart(kept);
        } else if (step == "item") {
            ReportCameraItem(kept);
        } else if (step == "recfail") {
            ReportRecordingFailure(kept);
        } else if (step == "present") {
            Print(IsCameraItemPresent() ? "1" : "0");
        } else if (step == "add") {
            AddCameraItem(kept);
        } else if (step == "command") {
            ApplyCommandLine();
        } else if (step == "launch") {
            Print(LaunchLensward() ? "1" : "0");
        } else if (step.starts_with("copy=")) {
            Copy(step.substr(5));
        }
    }
    return 0;
}
