#include "suite/Trust.h"

#include "TrustTestSupport.h"
#include "platform/sys/Module.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

using namespace trust_test;

namespace {

const Bytes kContent = {'s', 'u', 'i', 't', 'e', 0, 1, 2, 3, 0xff, '\n'};

bool Signed(const fs::path& path) { return IsSignedFile(Wide(path).c_str()); }

using AnswerFunction = int (*)();

int Answer(HMODULE module)
{
    auto function = reinterpret_cast<AnswerFunction>(GetProcAddress(module, "LumoTrustTestAnswer"));
    return function ? function() : -1;
}

// A copy of the test module under `name`, signed with the build's key.
fs::path SignedModuleCopy(const TempFolder& folder, const std::string& name)
{
    fs::path copy = folder / name;
    fs::copy_file(LUMO_SUITE_TEST_MODULE, copy);
    SignFile(copy);
    return copy;
}

void AppendByte(const fs::path& path)
{
    std::ofstream(path, std::ios::binary | std::ios::app).put('\0');
}

} // namespace

TEST(IsSignedFile, AcceptsFilesSignedWithTheBuildKey)
{
    TempFolder folder;
    fs::path file = folder / "data.bin";
    WriteBytes(file, kContent);
    SignFile(file);
    EXPECT_TRUE(Signed(file));
    // Paths from outside may be written with '\'.
    WString backslashed = Wide(folder.Path()) + u"\\data.bin";
    EXPECT_TRUE(IsSignedFile(backslashed.c_str()));

    fs::path empty = folder / "empty.bin";
    WriteBytes(empty, Bytes {});
    SignFile(empty);
    EXPECT_TRUE(Signed(empty));
}

TEST(IsSignedFile, RefusesChangedContent)
{
    TempFolder folder;
    fs::path file = folder / "data.bin";
    WriteBytes(file, kContent);
    SignFile(file);

    Bytes changed = kContent;
    changed[5] ^= 0x01;
    WriteBytes(file, changed);
    EXPECT_FALSE(Signed(file)) << "a changed byte";

    WriteBytes(file, Bytes(kContent.begin(), kContent.end() - 1));
    EXPECT_FALSE(Signed(file)) << "a truncated file";

    WriteBytes(file, kContent);
    AppendByte(file);
    EXPECT_FALSE(Signed(file)) << "an appended byte";

    WriteBytes(file, kContent);
    EXPECT_TRUE(Signed(file)) << "the original again";
}

TEST(IsSignedFile, RefusesBadSignatureFiles)
{
    TempFolder folder;
    fs::path file = folder / "data.bin";
    fs::path signature = SignaturePath(file);
    WriteBytes(file, kContent);
    Signature good = SignBytes(kContent.data(), kContent.size(), BuildSecretKey());

    EXPECT_FALSE(Signed(file)) << "no .sig";

    WriteBytes(signature, good.data(), good.size() - 1);
    EXPECT_FALSE(Signed(file)) << "a short .sig";

    Bytes overlong(good.begin(), good.end());
    overlong.push_back(0);
    WriteBytes(signature, overlong);
    EXPECT_FALSE(Signed(file)) << "a valid signature followed by one more byte";

    Signature flipped = good;
    flipped[10] ^= 0x80;
    WriteBytes(signature, flipped.data(), flipped.size());
    EXPECT_FALSE(Signed(file)) << "a damaged signature";

    SignFile(file, OtherSecretKey());
    EXPECT_FALSE(Signed(file)) << "a valid signature of another key";

    fs::remove(signature);
    fs::create_directory(signature);
    EXPECT_FALSE(Signed(file)) << "a folder named .sig";
    fs::remove(signature);

    WriteBytes(signature, good.data(), good.size());
    EXPECT_TRUE(Signed(file));
}

TEST(IsSignedFile, RefusesWhatIsNoRegularFile)
{
    TempFolder folder;
    Signature ofNothing = SignBytes(nullptr, 0, BuildSecretKey());
    auto signAsEmpty = [&](const fs::path& path) {
        WriteBytes(SignaturePath(path), ofNothing.data(), ofNothing.size());
    };

    EXPECT_FALSE(IsSignedFile(nullptr));
    EXPECT_FALSE(IsSignedFile(u""));

    fs::path missing = folder / "missing.so";
    signAsEmpty(missing);
    EXPECT_FALSE(Signed(missing));

    fs::path directory = folder / "folder.so";
    fs::create_directory(directory);
    signAsEmpty(directory);
    EXPECT_FALSE(Signed(directory));

    // Opening a FIFO for reading would wait for a writer; the check must answer at once.
    fs::path fifo = folder / "fifo.so";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    signAsEmpty(fifo);
    std::future<bool> answer = std::async(std::launch::async, [&] { return Signed(fifo); });
    if (answer.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "watchdog: IsSignedFile waits on a FIFO";
        int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            close(writer);
    }
    EXPECT_FALSE(answer.get());
}

// The build signs the engine after every link (lumo_sign_target), with the key the loader knows.
TEST(IsSignedFile, TrustsTheEngineAsTheBuildSignedIt)
{
    EXPECT_TRUE(IsSignedFile(Wide(LUMO_FACET_LIBRARY).c_str()));
}

// A properly signed file just over the limit: only the size can refuse it. The file is sparse and
// the signed zeros come from untouched memory, so neither costs real space.
TEST(IsSignedFile, RefusesFilesOverTheSizeLimit)
{
    constexpr size_t kSize = (size_t(256) << 20) + 1;
    TempFolder folder;
    fs::path file = folder / "huge.bin";
    WriteBytes(file, Bytes {});
    fs::resize_file(file, kSize);
    std::unique_ptr<unsigned char, decltype(&std::free)> zeros(static_cast<unsigned char*>(std::calloc(kSize, 1)), &std::free);
    ASSERT_NE(zeros, nullptr);
    Signature signature = SignBytes(zeros.get(), kSize, BuildSecretKey());
    zeros.reset();
    WriteBytes(SignaturePath(file), signature.data(), signature.size());
    EXPECT_FALSE(Signed(file));
}

TEST(LoadSignedLibrary, LoadsOnlyVerifiedLibraries)
{
    TempFolder folder;
    fs::path good = SignedModuleCopy(folder, "good.so");
    HMODULE module = LoadSignedLibrary(Wide(good).c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Answer(module), 7);
    EXPECT_TRUE(FreeLibrary(module));

    // Still a loadable library after the change, so only the signature can refuse it.
    fs::path tampered = SignedModuleCopy(folder, "tampered.so");
    AppendByte(tampered);
    EXPECT_EQ(LoadSignedLibrary(Wide(tampered).c_str()), nullptr);
    HMODULE unchecked = LoadLibraryW(Wide(tampered).c_str());
    EXPECT_NE(unchecked, nullptr);
    EXPECT_TRUE(FreeLibrary(unchecked));

    fs::path unsignedCopy = folder / "unsigned.so";
    fs::copy_file(LUMO_SUITE_TEST_MODULE, unsignedCopy);
    EXPECT_EQ(LoadSignedLibrary(Wide(unsignedCopy).c_str()), nullptr);
    EXPECT_EQ(LoadSignedLibrary(nullptr), nullptr);
    EXPECT_EQ(LoadSignedLibrary(u""), nullptr);
}

// Someone who may write to the folder swaps the name between the signed library and a library
// of their own, again and again, while it is loaded: what gets loaded is always the file that
// was checked.
TEST(LoadSignedLibrary, LoadsTheFileItCheckedWhileTheNameIsSwapped)
{
    TempFolder folder;
    fs::path good = SignedModuleCopy(folder, "good.so");
    fs::path other = folder / "other.so";
    fs::copy_file(LUMO_SUITE_TEST_OTHER_MODULE, other);
    fs::path target = folder / "swapped.so";
    fs::copy_file(good, target);
    fs::copy_file(SignaturePath(good), SignaturePath(target));

    std::atomic<bool> stop {false};
    std::thread swapper([&] {
        fs::path staging = folder / "staging.so";
        for (unsigned i = 0; !stop; ++i) {
            if (link((i % 2 ? other : good).c_str(), staging.c_str()) == 0)
                rename(staging.c_str(), target.c_str());
        }
    });
    int checkedLoads = 0;
    int otherLoads = 0;
    for (int i = 0; i < 400; ++i) {
        HMODULE module = LoadSignedLibrary(Wide(target).c_str());
        if (!module)
            continue;
        int answer = Answer(module);
        checkedLoads += answer == 7;
        otherLoads += answer == 9;
        WCHAR name[MAX_PATH];
        EXPECT_GT(GetModuleFileNameW(module, name, MAX_PATH), 0u);
        EXPECT_EQ(fs::path(WideToUtf8(name)).filename(), "swapped.so") << "the module keeps the name it was loaded by";
        FreeLibrary(module);
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(otherLoads, 0) << "an unchecked library was loaded after the check";
    EXPECT_GT(checkedLoads, 0) << "the signed library was never loaded; the test proves nothing";
}

// A bare name is the file in the current folder, the one that was checked, never a library of the
// same name found on the loader's search path.
TEST(LoadSignedLibrary, TakesABareNameFromTheCurrentFolder)
{
    TempFolder folder;
    SignedModuleCopy(folder, "bare.so");
    fs::path previous = fs::current_path();
    fs::current_path(folder.Path());
    HMODULE module = LoadSignedLibrary(u"bare.so");
    fs::current_path(previous);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Answer(module), 7);
    WCHAR loaded[MAX_PATH] = {};
    GetModuleFileNameW(module, loaded, MAX_PATH);
    EXPECT_EQ(WString(loaded), Wide(fs::canonical(folder / "bare.so")));
    EXPECT_TRUE(FreeLibrary(module));
}

// LoadSuiteLibrary may end the process, so it runs in a child program (see TrustTestChild.cpp),
// started with fork and exec so that it begins with a fresh windowing layer of its own.
namespace {

struct ChildRun {
    int exitCode = -1;
    std::string record; // what the child wrote at exit about the message boxes it showed
    std::string shellLog; // what ShellExecuteW would have opened
};

ChildRun RunChild(const TempFolder& folder, const fs::path& library, const char* answer)
{
    fs::path log = folder / "shell.log";
    fs::path record = folder / "record.txt";
    fs::remove(log);
    fs::remove(record);
    ChildRun run;
    run.exitCode = RunProgram({LUMO_SUITE_TRUST_CHILD, library.string(), answer, log.string(), record.string()});
    Bytes recordBytes = ReadBytes(record);
    run.record.assign(recordBytes.begin(), recordBytes.end());
    Bytes logBytes = ReadBytes(log);
    run.shellLog.assign(logBytes.begin(), logBytes.end());
    return run;
}

std::string DamagedFileRecord(const fs::path& path)
{
    return "boxes=1\n"
           "type=20\n" // MB_YESNO | MB_ICONHAND
           "caption=Ternshield\n"
           "text=发现Ternshield的文件已被破坏，不是原版文件。\n请重新安装Ternshield并进行木马扫描。\n\n被破坏的文件："
        + path.string() + "\n\n是否立即下载最新版？";
}

} // namespace

TEST(LoadSuiteLibrary, LoadsSignedLibrariesAndSkipsMissingOnesWithoutPrompt)
{
    TempFolder folder;
    fs::path good = SignedModuleCopy(folder, "Facet.so");
    ChildRun run = RunChild(folder, good, "yes");
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.record, "boxes=0\n");

    run = RunChild(folder, folder / "TernCommon.so", "yes");
    EXPECT_EQ(run.exitCode, 3) << "a missing file";
    EXPECT_EQ(run.record, "boxes=0\n");

    run = RunChild(folder, "", "yes");
    EXPECT_EQ(run.exitCode, 3) << "no path";
    EXPECT_EQ(run.record, "boxes=0\n");
    EXPECT_EQ(run.shellLog, "");
}

TEST(LoadSuiteLibrary, DamagedLibraryEndsTheProgramAfterThePrompt)
{
    TempFolder folder;
    fs::path damaged = SignedModuleCopy(folder, "TernCommon.so");
    AppendByte(damaged);

    // The record is written by the exit handlers, so it also shows that the runtime's exit ran.
    ChildRun yes = RunChild(folder, damaged, "yes");
    EXPECT_EQ(yes.exitCode, 0);
    EXPECT_EQ(yes.record, DamagedFileRecord(damaged));
    EXPECT_EQ(yes.shellLog, "open http://download.ternshield.example/setup.exe\n");

    ChildRun no = RunChild(folder, damaged, "no");
    EXPECT_EQ(no.exitCode, 0);
    EXPECT_EQ(no.record, DamagedFileRecord(damaged));
    EXPECT_EQ(no.shellLog, "") << "No opens nothing";

    fs::remove(SignaturePath(damaged));
    ChildRun unsignedRun = RunChild(folder, damaged, "no");
    EXPECT_EQ(unsignedRun.exitCode, 0) << "an unsigned library is damaged too";
    EXPECT_EQ(unsignedRun.record, DamagedFileRecord(damaged));
}
