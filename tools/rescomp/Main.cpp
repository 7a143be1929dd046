// rescomp SCRIPT PICTURE_FOLDER OUTPUT
// Compiles the resource script and the pictures it names into a C++ source file. Any fault in
// the script or a picture is reported as "SCRIPT:LINE: error: ..." and no output is left behind.
#include "tools/rescomp/Script.h"
#include "tools/rescomp/SourceWriter.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: rescomp SCRIPT PICTURE_FOLDER OUTPUT\n";
        return 2;
    }
    std::filesystem::path script = argv[1];
    std::filesystem::path output = argv[3];
    std::ifstream input(script, std::ios::binary);
    if (!input) {
        std::cerr << script.string() << ": error: cannot open the resource script\n";
        return 1;
    }
    std::string text((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
    try {
        std::vector<rescomp::CompiledResource> resources = rescomp::CompileScript(text, argv[2]);
        std::ostringstream source;
        rescomp::WriteSource(source, std::move(resources), script.filename().string());
        // Written beside the target and renamed, so a failed run never leaves half a file.
        std::filesystem::path partial = output;
        partial += ".partial";
        {
            std::ofstream file(partial, std::ios::binary | std::ios::trunc);
            file << source.str();
            if (!file.flush()) {
                std::cerr << output.string() << ": error: cannot write the output\n";
                return 1;
            }
        }
        std::filesystem::rename(partial, output);
    } catch (const rescomp::ScriptError& error) {
        std::cerr << script.string() << ":" << error.Line() << ": error: " << error.what() << "\n";
        std::error_code ignored;
        std::filesystem::remove(output, ignored);
        return 1;
    } catch (const std::filesystem::filesystem_error& error) {
        std::cerr << output.string() << ": error: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
