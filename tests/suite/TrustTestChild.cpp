// Plays the program that loads a suite library through LoadSuiteLibrary, for the tests that must
// watch the process end:
//   lumo_suite_trust_child <library path, "" for a null path> <yes|no> <shell log file> <record file>
// The message box is answered by the script and ShellExecuteW only logs. At exit, whichever way it
// comes, the shown message boxes are written to the record file. Exit codes: 0 when the process was
// ended inside LoadSuiteLibrary, 3 when it returned none, 4 when it returned a module, 2 for misuse.
#include "suite/Trust.h"

#include "platform/base/Strings.h"
#include "platform/ui/ModalScript.h"
#include "platform/ui/Presenter.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

// The system libraries' allocations kept for the life of the process (see tests/lsan.supp); the
// child ends through exit, where the leak check runs, also when started outside scripts/test.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\nleak:libgobject-2.0.so\n"
           "leak:libglib-2.0.so\n";
}

namespace {

const char* g_recordPath = nullptr;

void WriteRecord()
{
    std::vector<RecordedMessageBox> boxes = ModalScript::MessageBoxes();
    std::ofstream out(g_recordPath, std::ios::binary | std::ios::trunc);
    out << "boxes=" << boxes.size() << "\n";
    if (boxes.empty())
        return;
    out << "type=" << boxes[0].type << "\n"
        << "caption=" << WideToUtf8(boxes[0].caption) << "\n"
        << "text=" << WideToUtf8(boxes[0].text);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    InstallPresenter(CreateHeadlessPresenter());
    ModalScript::AnswerMessageBox(std::strcmp(argv[2], "yes") == 0 ? IDYES : IDNO);
    setenv("LUMO_SHELL_OPEN_LOG", argv[3], 1);
    g_recordPath = argv[4];
    std::atexit(WriteRecord);
    WString path = Utf8ToWide(argv[1]);
    HMODULE module = LoadSuiteLibrary(path.empty() ? nullptr : path.c_str());
    return module ? 4 : 3;
}
